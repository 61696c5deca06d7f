#include "update/QuickForm.h"

#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/FileAccess.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"
#include "platform/runtime/Val.h"
#include "socket/CSocketMaster.h"
#include "update/ResponseGathering.h"
#include "update/ServerConnection.h"
#include "update/UpdateState.h"
#include "update/VersionFiles.h"

#include <QFileInfo>

namespace {

constexpr char pleaseWait[] = "Please wait for confirmation...";

} // namespace

QuickForm::QuickForm() : Form("VANTO Update") {
    DownloadUpdateCommand1.onClick = [this] { DownloadUpdateCommand1_Click(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
}

void QuickForm::InitializeControls() {
    Label1.SetCaption({});
    DownloadUpdateCommand1.SetCaption({});
    DownloadUpdateCommand1.SetEnabled(false);
    Timer1.SetInterval(500);
    Timer1.SetEnabled(true);
}

void QuickForm::ReleaseControls() {
    // A download abandoned with the window takes its empty file with it.
    response_.Abandon();
    if (download_)
        ArchiveDownload::ForgetSaveTarget(*download_);
    download_.reset();
    Timer1.SetEnabled(false);
    Winsock1.reset();
}

void QuickForm::Form_Load() {
    if (App::PrevInstance()) {
        MsgBox({});
        Unload();
        return;
    }
    Winsock1 = CSocketMaster::Create();
    Winsock1->onConnect = [this] { Winsock1_Connect(); };
    Winsock1->onDataArrival = [this](std::int32_t bytesTotal) { Winsock1_DataArrival(bytesTotal); };
    Winsock1->onCloseSck = [this] { Winsock1_CloseSck(); };
    // A failed lookup or connection is shown in the label.
    Winsock1->onError =
        ServerConnection::ReportErrorTo([this](const QByteArray& why) { Winsock1_Error(why); });

    const QString ini = App::Path() + QStringLiteral("/VANTO.ini");
    const QByteArray installed = VersionFiles::InstalledVersionText(ini);
    if (installed == VersionFiles::noInstallation) {
        MsgBox("No valid VANTO.ini detected in this folder.", vbOKOnly | vbCritical,
               "Unable to proceed.");
        // Reading the version created the file when there was none.
        if (QFileInfo(ini).size() == 0)
            Kill(ini);
        Unload();
        return;
    }
    UpdateState& state = SharedState();
    state.localVersion = float(Val(installed));
    Label1.SetCaption({});
    state.serverHost = UpdateServerHost();
    state.requestPath = "/files/koru/vanto_ver.txt";
    StartTransfer();
}

void QuickForm::StartTransfer() {
    UpdateState& state = SharedState();
    // Both start from an empty response, so the previous answer's completion
    // cannot count for this one.
    try {
        if (download_)
            response_.BeginArchive(state.targetFile);
        else
            response_.BeginText();
    } catch (const RuntimeError& e) {
        FailTransfer(ArchiveDownload::CannotSave(e));
        return;
    }
    if (const QByteArray failure = ServerConnection::Connect(*Winsock1, state.serverHost);
        !failure.isEmpty())
        FailTransfer(failure);
}

void QuickForm::Form_Unload() {
    EndProgram();
}

void QuickForm::DownloadUpdateCommand1_Click() {
    using namespace ArchiveDownload;
    UpdateState& state = SharedState();
    try {
        download_ = ChooseSaveTarget();
    } catch (const RuntimeError& e) {
        Label1.SetCaption(SaveFailure(e));
        return;
    }
    if (!download_)
        return;
    DownloadUpdateCommand1.SetCaption({});
    DownloadUpdateCommand1.SetEnabled(false);
    Label1.SetCaption("Downloading VANTO version " + VersionText(state.remoteVersion) + "\r\n" +
                      pleaseWait);
    state.targetFile = download_->path;
    state.requestPath = archivePath;
    Timer1.SetEnabled(true);
    StartTransfer();
}

void QuickForm::Timer1_Timer() {
    SetCaption(QByteArray::number(SharedState().responseLength) + " bytes received");
}

void QuickForm::Winsock1_Connect() {
    ServerConnection::SendRequest(*Winsock1);
}

void QuickForm::Winsock1_DataArrival(std::int32_t /*bytesTotal*/) {
    const UpdateState& state = SharedState();
    const QByteArray failure = ServerConnection::TakeArrival(*Winsock1, response_);
    if (!failure.isEmpty()) {
        FailTransfer(failure);
        return;
    }
    if (state.transferDone != vbTrue)
        return;
    Label1.SetCaption(ReadData());
    if (Winsock1)
        Winsock1->CloseSck();
}

void QuickForm::Winsock1_CloseSck() {
    Winsock1->CloseSck();
    Timer1.SetEnabled(false);
    if (SharedState().transferDone != vbTrue)
        FailTransfer("The server closed the connection early.");
}

void QuickForm::Winsock1_Error(const QByteArray& Description) {
    FailTransfer(Description);
}

void QuickForm::FailTransfer(const QByteArray& reason) {
    if (Winsock1)
        Winsock1->CloseSck();
    Label1.SetCaption(FailureText(reason));
}

QByteArray QuickForm::FailureText(const QByteArray& reason) {
    response_.Abandon();
    if (download_) {
        ArchiveDownload::ForgetSaveTarget(*download_);
        download_.reset();
        DownloadUpdateCommand1.SetCaption("Download Update!");
        DownloadUpdateCommand1.SetEnabled(true);
    }
    return "TRANSFER FAILED: " + reason;
}

bool QuickForm::CompareVersions1(const QByteArray& offered) {
    UpdateState& state = SharedState();
    state.remoteVersion = float(Val(offered));
    return VersionFiles::IsNewer(state.localVersion, state.remoteVersion);
}

QByteArray QuickForm::ReadData() {
    UpdateState& state = SharedState();
    if (download_) {
        // Any other answer to the archive's request is a failed download, not a version.
        if (response_.DeclaresZip() && !response_.NotFound())
            return SaveArchive();
        return FailureText(response_.NotFound()
                               ? QByteArray(ResponseGathering::notFoundMessage)
                               : QByteArray("The server's answer is not an archive."));
    }
    // The body is what responseBuffer holds now.
    state.SetResponse(state.responseBuffer);
    if (CompareVersions1(VersionFiles::OfferedVersionText(state.responseBuffer))) {
        DownloadUpdateCommand1.SetEnabled(true);
        DownloadUpdateCommand1.SetCaption("Download Update!");
        SetCaption("New VANTO available!");
    } else {
        state.SetResponse(response_.NotFound()
                              ? QByteArray("VANTO update file not found on the server.")
                              : QByteArray("You have the most recent VANTO."));
    }
    return state.responseBuffer;
}

QByteArray QuickForm::SaveArchive() {
    UpdateState& state = SharedState();
    QByteArray label = Label1.Caption();
    label.replace(pleaseWait,
                  "Done!\r\n\r\nFile saved to:\r\n" + QFile::encodeName(state.targetFile));
    try {
        response_.SaveArchive();
    } catch (const RuntimeError& e) {
        return FailureText(ArchiveDownload::CannotSave(e));
    }
    state.responseBuffer.clear();
    state.responseLength = response_.Response().BodyReceived();
    download_.reset();
    return label;
}
