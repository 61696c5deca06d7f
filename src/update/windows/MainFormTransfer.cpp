// The main window's transfers: one fetch per file on Winsock2 through the
// transfer engine, waited for in the event loop with Timer1's stall count and
// progress digits, and saved to targetFile (a text from memory, a help-link
// item from a file beside it, the archive through the archive flow). A
// transfer that cannot succeed ends at once as failed and says why in the
// log; nothing is saved from it.
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "update/files/ArchiveDownload.h"
#include "update/files/HelpLinkReceiver.h"
#include "update/formats/NotFoundRule.h"
#include "update/formats/ServerPaths.h"
#include "update/jobs/UpdateState.h"
#include "update/windows/MainForm.h"

#include <limits>
#include <optional>

namespace {

constexpr std::uint8_t stallLimit = 10; // ticks without growth before giving up

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

MainForm::Transfer MainForm::RunTransfer(Body body) {
    UpdateState& state = SharedState();
    // The caller's request: the switch, asked first, fetches a file of its own.
    const Fetch fetch{state.requestPath, state.targetFile};
    if (state.serviceMode == serviceNotChecked && !CheckKillSwitch())
        return Transfer::Failed;
    if (state.serviceMode == serviceOff) {
        SystemMessagesText1.SetText("KORU INTERNET IS DOWN\r\n\r\n" + state.responseBuffer +
                                    "\r\n");
        SystemMessagesText1.AppendSeparator();
        return Transfer::ServiceOff;
    }
    state.targetFile = fetch.target;
    return FetchAndSave(fetch, body);
}

MainForm::Transfer MainForm::FetchAndSave(const Fetch& fetch, Body body) {
    if (ProgramEnded())
        return Transfer::Failed;
    transferFailure_ = {};
    fetched_ = {};
    failedPath_ = fetch.path;
    if (transferWaiting_ || !Winsock2) {
        // Only reachable when something bypassed the command guard.
        transferFailure_ = {TransferFailure::Kind::Busy, transferWaiting_
                                                             ? "Another transfer is in progress."
                                                             : "The main window is closed."};
    } else if (body == Body::Archive) {
        ReceiveArchive(fetch);
    } else if (body == Body::File) {
        ReceiveFile(fetch);
    } else {
        ReceiveText(fetch);
    }
    if (ProgramEnded()) {
        archiveFlow_.Cancel();
        if (body == Body::Archive && onArchiveProgress)
            onArchiveProgress(0, 0, true);
        return Transfer::Failed;
    }
    if (!transferFailure_) {
        SharedState().transferDone = vbFalse;
        if (body == Body::Text)
            transferFailure_ = SaveText(fetch);
    }
    if (!transferFailure_)
        return Transfer::Done;
    if (body == Body::Archive && onArchiveProgress)
        onArchiveProgress(0, 0, true);
    ReportFailure(failedPath_, transferFailure_.text);
    return Transfer::Failed;
}

void MainForm::ReceiveText(const Fetch& fetch) {
    UpdateState& state = SharedState();
    transfer_.FetchText(*Winsock2, state.serverHost, fetch.path, state.responseBuffer,
                        [this](const FetchResult& result) { Fetched(result); });
    Await([this] { return transfer_.Running(); });
}

void MainForm::ReceiveFile(const Fetch& fetch) {
    std::optional<HelpLinkReceiver> file;
    try {
        file.emplace(fetch.target);
    } catch (const RuntimeError& e) {
        transferFailure_ = ArchiveDownload::CannotSave(e);
        return;
    }
    transfer_.FetchFile(*Winsock2, SharedState().serverHost, fetch.path, *file,
                        [this](const FetchResult& result) { Fetched(result); });
    Await([this] { return transfer_.Running(); });
    // The file goes when this returns: nothing may write to it after.
    transfer_.Cancel();
    ResponseGathering& response = transfer_.Response();
    if (transferFailure_ || ProgramEnded()) {
        response.Abandon(*file);
        return;
    }
    transferFailure_ = file->Save(
        fetched_.notFound ? std::optional<QByteArray>(NotFoundRule::message) : std::nullopt);
    response.Detach();
}

void MainForm::ReceiveArchive(const Fetch& fetch) {
    UpdateState& state = SharedState();
    trustedComment_.clear();
    archiveFlow_.listed = ReleaseCheck::Held();
    archiveFlow_.Start(transfer_, *Winsock2, state.serverHost, fetch.target, App::Path(),
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

void MainForm::Fetched(const FetchResult& result) {
    fetched_ = result;
    transferFailure_ = result.failure;
}

void MainForm::Await(const std::function<bool()>& running) {
    transferWaiting_ = true;
    WaitUntil([&] { return !running() || ProgramEnded(); });
    transferWaiting_ = false;
}

TransferFailure MainForm::SaveText(const Fetch& fetch) {
    try {
        // Written beside the file and renamed over it: a save that fails
        // leaves the file as it was.
        ReplaceFile(fetch.target, SavingFile());
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

QByteArray MainForm::SavingFile() {
    UpdateState& state = SharedState();
    if (fetched_.notFound)
        state.SetResponse(NotFoundRule::message);
    return state.responseBuffer;
}

void MainForm::ShowAboveProgress(const QByteArray& line) {
    const bool shown = progressShown_;
    if (shown)
        RemoveProgressLine();
    const QByteArray& log = SystemMessagesText1.Text();
    if (!log.isEmpty() && !log.endsWith("\r\n"))
        SystemMessagesText1.Append("\r\n");
    SystemMessagesText1.Append(line + "\r\n");
    if (shown) {
        SystemMessagesText1.Append(progressLine);
        progressShown_ = true;
    }
}

void MainForm::ReportFailure(const QByteArray& path, const QByteArray& reason) {
    ++failedTransfers_;
    // Named by the file it was for, so that two failures in a row differ.
    const QByteArray line = TransferFailure::headline + path + ": " + reason + "\r\n";
    if (heldFailures_ != nullptr) {
        heldFailures_->append(line);
        return;
    }
    if (progressShown_)
        RemoveProgressLine();
    const QByteArray& log = SystemMessagesText1.Text();
    if (!log.isEmpty() && !log.endsWith("\r\n"))
        SystemMessagesText1.Append("\r\n");
    SystemMessagesText1.Append(line);
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
        Winsock2->CloseSck();
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
    if (n == state.lastLength) {
        if (state.stallTicks < std::numeric_limits<std::uint8_t>::max())
            ++state.stallTicks;
    } else {
        state.stallTicks = 0;
        if (state.requestPath == ServerPaths::archive &&
            EndsInProgressLine(SystemMessagesText1.Text())) {
            QByteArray log = SystemMessagesText1.Text();
            log.chop(std::min<qsizetype>(7, log.size()));
            SystemMessagesText1.SetText(log + SevenDigits(n));
        }
    }
    state.lastLength = n;
    if (transferWaiting_ && state.stallTicks > stallLimit)
        FailTransfer({TransferFailure::Kind::Stalled,
                      n > 0 ? "The server stopped sending." : "No answer from the server."});
}
