// The main window's transfers: one HTTP GET per file on Winsock2, gathered to
// the length the response announces and saved to targetFile, with Timer1's
// stall count and progress digits. A transfer that cannot succeed ends at once
// as failed and says why in the log; nothing is saved from it.
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

MainForm::Transfer MainForm::RunTransfer(NotFound notFound) {
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
    return FetchAndSave(notFound);
}

MainForm::Transfer MainForm::FetchAndSave(NotFound notFound) {
    UpdateState& state = SharedState();
    if (ProgramEnded())
        return Transfer::Failed;
    transferFailure_.clear();
    if (transferWaiting_ || !Winsock2) {
        // Only reachable when something bypassed the command guard.
        transferFailure_ =
            transferWaiting_ ? "Another transfer is in progress." : "The main window is closed.";
    } else {
        state.responseBuffer.clear();
        state.stallTicks = 0;
        state.transferDone = vbFalse;
        Timer1.SetEnabled(true);
        state.expectedLength = 0;
        transferWaiting_ = true;
        if (const QByteArray failure = ServerConnection::Connect(*Winsock2, state.serverHost);
            !failure.isEmpty())
            FailTransfer(failure);
        WaitUntil([&] {
            return state.transferDone == vbTrue || !transferFailure_.isEmpty() || ProgramEnded();
        });
        transferWaiting_ = false;
        if (ProgramEnded())
            return Transfer::Failed;
    }
    if (transferFailure_.isEmpty() && notFound == NotFound::Fails &&
        ArchiveDownload::ArchiveMissing(state.responseBuffer))
        transferFailure_ = ResponseGathering::notFoundMessage;
    if (transferFailure_.isEmpty()) {
        state.transferDone = vbFalse;
        try {
            // Written beside the file and renamed over it: a save that fails
            // leaves the file as it was.
            ReplaceFile(state.targetFile, SavingFile(state.responseBuffer, notFound));
            return Transfer::Done;
        } catch (const RuntimeError& e) {
            transferFailure_ = ArchiveDownload::CannotSave(e);
        }
    }
    ReportFailure(transferFailure_);
    return Transfer::Failed;
}

void MainForm::ReportFailure(const QByteArray& reason) {
    ++failedTransfers_;
    const QByteArray& log = SystemMessagesText1.Text();
    if (!log.isEmpty() && !log.endsWith("\r\n"))
        SystemMessagesText1.Append("\r\n");
    SystemMessagesText1.Append(failurePrefix + reason + "\r\n");
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

QByteArray MainForm::SavingFile(const QByteArray& response, NotFound notFound) {
    const bool missing =
        notFound == NotFound::SavedAsMessage && ResponseGathering::IsNotFound(response);
    const QByteArray result =
        missing ? QByteArray(ResponseGathering::notFoundMessage) : HttpResponse::Body(response);
    SharedState().responseBuffer = result;
    return result;
}

void MainForm::Winsock2_Connect() {
    ServerConnection::SendRequest(*Winsock2);
}

void MainForm::Winsock2_DataArrival(std::int32_t /*bytesTotal*/) {
    const QByteArray failure = ServerConnection::TakeArrival(*Winsock2);
    if (!failure.isEmpty())
        FailTransfer(failure);
    else if (SharedState().transferDone == vbTrue)
        CloseTransferSocket();
}

void MainForm::Winsock2_CloseSck() {
    CloseTransferSocket();
    if (SharedState().transferDone != vbTrue)
        FailTransfer("The server closed the connection early.");
}

void MainForm::Winsock2_Error(const QByteArray& Description) {
    FailTransfer(Description);
}

void MainForm::Timer1_Timer() {
    UpdateState& state = SharedState();
    const auto n = std::int32_t(state.responseBuffer.size());
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
        FailTransfer("No answer from the server.");
}
