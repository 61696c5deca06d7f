// The main window's transfers on Winsock2 through the transfer engine, waited
// for in the event loop with Timer1's stall count and progress digits: the
// jobs' fetches, and the archive through the archive flow. An archive that
// cannot be saved ends at once as failed and says why in the log.
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "update/formats/ServerPaths.h"
#include "update/net/SocketConnection.h"
#include "update/windows/MainForm.h"
#include "update/windows/UpdateState.h"

#include <optional>

namespace {

// A command that replaced the log meanwhile has taken the progress line away.
bool EndsInProgressLine(const QByteArray& log) {
    constexpr qsizetype size = qsizetype(sizeof MainForm::progressLine) - 1;
    constexpr qsizetype digits = 7;
    return log.size() >= size &&
           log.sliced(log.size() - size)
               .startsWith(QByteArrayView(MainForm::progressLine, size - digits));
}

} // namespace

QByteArray MainForm::SevenDigits(std::int64_t n) {
    return QByteArray::number(n % 10000000).rightJustified(7, '0');
}

MainForm::Transfer MainForm::RunArchive(const QString& target, int& failures) {
    // The switch is asked before the first transfer; an off service fetches nothing.
    SavedTransfer::Outcome ready;
    switch_.Start(Tools(), ServerPaths::archive, target, SavedTransfer::Body::None,
                  [&ready](const SavedTransfer::Outcome& ended) { ready = ended; });
    if (!AwaitJob(switch_))
        return Transfer::Failed;
    failures += ready.failures;
    ShowOffers(ready.offers);
    if (ready.ending == SavedTransfer::Ending::ServiceOff)
        return Transfer::ServiceOff;
    if (ready.ending == SavedTransfer::Ending::Failed || ProgramEnded())
        return Transfer::Failed;
    SharedState().targetFile = target;
    failedPath_ = ServerPaths::archive;
    transferFailure_ = SavedTransfer::Unstartable(Tools(), transferWaiting_);
    if (!transferFailure_)
        ReceiveArchive(target);
    if (ProgramEnded()) {
        archiveFlow_.Cancel();
        if (onArchiveProgress)
            onArchiveProgress(0, 0, true);
        return Transfer::Failed;
    }
    if (!transferFailure_) {
        SharedState().transferDone = vbFalse;
        return Transfer::Done;
    }
    if (onArchiveProgress)
        onArchiveProgress(0, 0, true);
    ++failures;
    ReportFailure(failedPath_, transferFailure_.text);
    return Transfer::Failed;
}

void MainForm::ReceiveArchive(const QString& target) {
    UpdateState& state = SharedState();
    trustedComment_.clear();
    archiveFlow_.Start(transfer_, *Winsock2, state.serverHost, target, App::Path(),
                       state.responseBuffer, [this](const ArchiveFlow::Outcome& outcome) {
                           transferFailure_ = outcome.failure;
                           failedPath_ = outcome.path;
                           if (outcome.failure)
                               return;
                           trustedComment_ = outcome.trustedComment;
                           SharedState().SavedArchive(outcome.length);
                           if (onArchiveProgress)
                               onArchiveProgress(outcome.length, outcome.length, true);
                       });
    Await([this] { return archiveFlow_.Running(); });
}

void MainForm::Await(const std::function<bool()>& running) {
    transferWaiting_ = true;
    WaitUntil([&] { return !running() || ProgramEnded(); });
    transferWaiting_ = false;
}

void MainForm::ShowAboveProgress(const QByteArray& line) {
    const bool shown = progressShown_;
    if (shown)
        RemoveProgressLine();
    SystemMessagesText1.AppendOnNewLine(line + "\r\n");
    if (shown) {
        SystemMessagesText1.Append(progressLine);
        progressShown_ = true;
    }
}

void MainForm::ReportFailure(const QByteArray& path, const QByteArray& reason) {
    if (progressShown_)
        RemoveProgressLine();
    SystemMessagesText1.AppendOnNewLine(SavedTransfer::FailureLine(path, reason));
}

void MainForm::RemoveProgressLine() {
    QByteArray log = SystemMessagesText1.Text();
    log.chop(qsizetype(sizeof progressLine) - 1);
    SystemMessagesText1.SetText(log);
    progressShown_ = false;
}

void MainForm::FailTransfer(const TransferFailure& failure) {
    if (transferWaiting_)
        transfer_.Abort(failure);
}

void MainForm::CloseTransferSocket() {
    if (Winsock2)
        Winsock2->Close();
    Timer1.SetEnabled(false);
}

void MainForm::Winsock2_Connect() {
    transfer_.Connected();
}

void MainForm::Winsock2_DataArrival(std::int32_t /*bytesTotal*/) {
    transfer_.Arrived();
}

void MainForm::Winsock2_CloseSck() {
    CloseTransferSocket();
    // The end of a body framed by the close; a cut-off for any other.
    transfer_.Closed();
}

void MainForm::Winsock2_Error(std::int16_t Number, const QByteArray& Description) {
    transfer_.Errored(Number, Description);
}

void MainForm::Timer1_Timer() {
    UpdateState& state = SharedState();
    const std::int64_t n = state.responseLength;
    const bool grew = n != state.lastLength;
    const bool stalled = state.StallTick();
    if (grew && state.requestPath == ServerPaths::archive &&
        EndsInProgressLine(SystemMessagesText1.Text())) {
        QByteArray log = SystemMessagesText1.Text();
        log.chop(std::min<qsizetype>(7, log.size()));
        SystemMessagesText1.SetText(log + SevenDigits(n));
    }
    if (transferWaiting_ && stalled)
        FailTransfer({TransferFailure::Kind::Stalled,
                      n > 0 ? "The server stopped sending." : "No answer from the server."});
}
