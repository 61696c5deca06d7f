// The main window's transfers: one HTTP GET per file on Winsock2, read to the
// end its head announces (a length, the last chunk, or the close) and saved to targetFile (a text
// from memory, the archive streamed beside it), with Timer1's stall count and progress digits. A
// transfer that cannot succeed ends at once as failed and says why in the log; nothing is saved
// from it.
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "socket/CSocketMaster.h"
#include "update/ArchiveDownload.h"
#include "update/HttpResponse.h"
#include "update/MainForm.h"
#include "update/ResponseGathering.h"
#include "update/ServerConnection.h"
#include "update/UpdateState.h"

#include <limits>

namespace {

constexpr char failurePrefix[] = "TRANSFER FAILED: ";
constexpr std::uint8_t stallLimit = 10; // ticks without growth before giving up

} // namespace

MainForm::Transfer MainForm::RunTransfer(Body body) {
    UpdateState& state = SharedState();
    if (state.serviceMode == serviceNotChecked) {
        // The switch is asked first; the requested file follows when the service is on.
        const QByteArray path = state.requestPath;
        const QString target = state.targetFile;
        CheckKillSwitch();
        state.requestPath = path;
        state.targetFile = target;
    }
    if (state.serviceMode == serviceOff) {
        SystemMessagesText1.SetText("KORU INTERNET IS DOWN\r\n\r\n" + state.responseBuffer +
                                    "\r\n");
        SystemMessagesText1.AppendSeparator();
        return Transfer::ServiceOff;
    }
    return FetchAndSave(body);
}

MainForm::Transfer MainForm::FetchAndSave(Body body) {
    if (ProgramEnded())
        return Transfer::Failed;
    transferFailure_.clear();
    if (transferWaiting_ || !Winsock2) {
        // Only reachable when something bypassed the command guard.
        transferFailure_ =
            transferWaiting_ ? "Another transfer is in progress." : "The main window is closed.";
    } else if (body == Body::Archive) {
        FetchArchive();
    } else {
        response_.BeginText();
        Receive();
    }
    if (ProgramEnded()) {
        DropArchive();
        return Transfer::Failed;
    }
    if (transferFailure_.isEmpty())
        transferFailure_ = Save(body);
    if (transferFailure_.isEmpty())
        return Transfer::Done;
    DropArchive();
    ReportFailure(transferFailure_);
    return Transfer::Failed;
}

void MainForm::Receive() {
    UpdateState& state = SharedState();
    state.stallTicks = 0;
    Timer1.SetEnabled(true);
    transferWaiting_ = true;
    if (const QByteArray failure =
            ServerConnection::Connect(*Winsock2, state.serverHost, response_);
        !failure.isEmpty())
        FailTransfer(failure);
    WaitUntil([&] {
        return state.transferDone == vbTrue || !transferFailure_.isEmpty() || ProgramEnded();
    });
    transferWaiting_ = false;
}

QByteArray MainForm::Save(Body body) {
    UpdateState& state = SharedState();
    state.transferDone = vbFalse;
    try {
        if (body == Body::Text) {
            // Written beside the file and renamed over it: a save that fails
            // leaves the file as it was.
            ReplaceFile(state.targetFile, SavingFile());
        } else {
            return SaveArchive();
        }
    } catch (const RuntimeError& e) {
        return ArchiveDownload::CannotSave(e);
    }
    return {};
}

void MainForm::ReportFailure(const QByteArray& reason) {
    ++failedTransfers_;
    // Named by the file it was for, so that two failures in a row differ.
    const QByteArray line = failurePrefix + SharedState().requestPath + ": " + reason + "\r\n";
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

void MainForm::FailTransfer(const QByteArray& reason) {
    if (!transferWaiting_)
        return;
    if (transferFailure_.isEmpty())
        transferFailure_ = reason;
    CloseTransferSocket();
}

void MainForm::CloseTransferSocket() {
    if (Winsock2)
        Winsock2->CloseSck();
    Timer1.SetEnabled(false);
}

QByteArray MainForm::SavingFile() {
    UpdateState& state = SharedState();
    if (response_.NotFound())
        state.SetResponse(ResponseGathering::notFoundMessage);
    return state.responseBuffer;
}

void MainForm::Winsock2_Connect() {
    ServerConnection::SendRequest(*Winsock2, response_);
}

void MainForm::Winsock2_DataArrival(std::int32_t /*bytesTotal*/) {
    const QByteArray failure = ServerConnection::TakeArrival(*Winsock2, response_);
    if (onArchiveProgress && response_.ReceivingArchive())
        onArchiveProgress(response_.ArchiveReceived(), response_.ArchiveSize(), false);
    if (!failure.isEmpty())
        FailTransfer(failure);
    else if (SharedState().transferDone == vbTrue)
        CloseTransferSocket();
}

void MainForm::Winsock2_CloseSck() {
    // The end of a body framed by the close; a cut-off for any other.
    const QByteArray failure = response_.TakeClose();
    CloseTransferSocket();
    if (!failure.isEmpty())
        FailTransfer(failure);
}

void MainForm::Winsock2_Error(const QByteArray& Description) {
    FailTransfer(Description);
}

void MainForm::Timer1_Timer() {
    UpdateState& state = SharedState();
    const std::int64_t n = state.responseLength;
    if (n == state.lastLength) {
        if (state.stallTicks < std::numeric_limits<std::uint8_t>::max())
            ++state.stallTicks;
    } else {
        state.stallTicks = 0;
        if (state.requestPath == "/files/vanto.zip") {
            QByteArray log = SystemMessagesText1.Text();
            log.chop(std::min<qsizetype>(7, log.size()));
            SystemMessagesText1.SetText(log + HttpResponse::SevenDigits(n));
        }
    }
    state.lastLength = n;
    if (transferWaiting_ && state.stallTicks > stallLimit)
        FailTransfer(n > 0 ? "The server stopped sending." : "No answer from the server.");
}
