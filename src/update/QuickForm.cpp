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
    // A download abandoned with the window takes its empty file with it; what
    // arrived of the archive may be kept for a resume.
    response_.Release(archive_);
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
    if (archive_ && !fetchingSignature_)
        response_.BeginArchive(*archive_);
    else
        response_.BeginText();
    if (const QByteArray failure =
            ServerConnection::Connect(*Winsock1, state.serverHost, response_);
        !failure.isEmpty())
        FailTransfer(failure);
}

void QuickForm::Form_Unload() {
    EndProgram();
}

void QuickForm::Timer1_Timer() {
    SetCaption(QByteArray::number(SharedState().responseLength) + " bytes received");
}

void QuickForm::Winsock1_Connect() {
    ServerConnection::SendRequest(*Winsock1, response_);
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
    // Closed first: the answer may lead on to the archive's signature.
    Winsock1->CloseSck();
    Label1.SetCaption(ReadData());
}

void QuickForm::Winsock1_CloseSck() {
    const bool done = SharedState().transferDone == vbTrue;
    // The end of a body framed by the close; a cut-off for any other.
    const QByteArray failure = response_.TakeClose();
    Winsock1->CloseSck();
    Timer1.SetEnabled(false);
    if (!failure.isEmpty())
        FailTransfer(failure);
    else if (!done)
        Label1.SetCaption(ReadData());
}

void QuickForm::Winsock1_Error(const QByteArray& Description) {
    FailTransfer(Description);
}

void QuickForm::FailTransfer(const QByteArray& reason) {
    if (Winsock1)
        Winsock1->CloseSck();
    if (RestartedArchive())
        return;
    Label1.SetCaption(FailureText(reason));
}

bool QuickForm::CompareVersions1(const QByteArray& offered) {
    UpdateState& state = SharedState();
    state.remoteVersion = float(Val(offered));
    return VersionFiles::IsNewer(state.localVersion, state.remoteVersion);
}

QByteArray QuickForm::ReadData() {
    UpdateState& state = SharedState();
    if (download_)
        return ReadArchive();
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
