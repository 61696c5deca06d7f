#include "update/windows/QuickForm.h"

#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/FileAccess.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/ServerPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/net/SocketConnection.h"
#include "update/net/UpdateServer.h"
#include "update/windows/UpdateState.h"

#include <QFileInfo>

QuickForm::QuickForm() : Form("VANTO Update") {
    DownloadUpdateCommand1.onClick = [this] { DownloadUpdateCommand1_Click(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
    Timer2.onTimer = [this] { Timer2_Timer(); };
    Timer2.SetInterval(1000);
    // The caption's count follows every transfer.
    transfer_.onStart = [this] { SharedState().Follow(transfer_); };
    transfer_.onArrival = transfer_.onStart;
    // A silent server is given up as in the main window, each connection
    // with the whole wait.
    transfer_.onConnecting = [this] {
        SharedState().stallTicks = 0;
        Timer2.SetEnabled(true);
    };
    transfer_.onStop = [this] { Timer2.SetEnabled(false); };
    archiveFlow_.onResumed = [this](std::int64_t at) {
        ShowAboveWait("Resuming at " + QByteArray::number(at) + " bytes.");
    };
    archiveFlow_.onNote = [this](const QByteArray& line) { ShowAboveWait(line); };
    archiveFlow_.requireZip = true;
    archiveFlow_.releaseList = &SharedState().releaseList;
}

void QuickForm::InitializeControls() {
    Label1.SetCaption({});
    DownloadUpdateCommand1.SetCaption({});
    DownloadUpdateCommand1.SetEnabled(false);
    installReady_ = false;
    Timer1.SetInterval(500);
    Timer1.SetEnabled(true);
    Timer2.SetEnabled(false);
}

void QuickForm::ReleaseControls() {
    // A download abandoned with the window takes its empty file with it; what
    // arrived of the archive may be kept for a resume.
    archiveFlow_.Cancel();
    releaseCheck_.Cancel();
    transfer_.Cancel();
    if (download_)
        ArchiveDownload::ForgetSaveTarget(*download_);
    download_.reset();
    phase_ = Phase::Idle;
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
    Winsock1.reset();
}

void QuickForm::Form_Load() {
    if (App::PrevInstance()) {
        MsgBox("Another KORU is already working on this VANTO folder; close it and try again.");
        Unload();
        return;
    }
    // A failed lookup or connection is shown in the label.
    Winsock1 = SocketConnection::Create(*this, &QuickForm::Winsock1_Connect,
                                        &QuickForm::Winsock1_DataArrival,
                                        &QuickForm::Winsock1_CloseSck, &QuickForm::Winsock1_Error);

    const QString ini = App::Path() + u'/' + QString::fromLatin1(FolderPaths::installedVersion);
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
    state.localVersion = VersionFiles::VersionNumber(installed);
    Label1.SetCaption({});
    state.serverHost = UpdateServerHost();
    state.requestPath = ServerPaths::versionFile;
    CheckRelease();
}

void QuickForm::CheckRelease() {
    phase_ = Phase::ListCheck;
    UpdateState& state = SharedState();
    releaseCheck_.Start(transfer_, *Winsock1, state.serverHost, App::Path(), state.releaseList,
                        [this](const ReleaseCheck::Outcome& outcome) {
                            if (!outcome.failure) {
                                FetchVersion();
                                return;
                            }
                            // A refused list offers nothing: no version, no button.
                            phase_ = Phase::Idle;
                            Label1.SetCaption(
                                FailureText(outcome.path + ": " + outcome.failure.text));
                        });
}

void QuickForm::FetchVersion() {
    UpdateState& state = SharedState();
    phase_ = Phase::VersionCheck;
    state.requestPath = ServerPaths::versionFile;
    TransferEngine::Options options;
    options.vetting = state.releaseList.Vetting();
    transfer_.FetchText(
        *Winsock1, state.serverHost, state.requestPath, state.responseBuffer,
        [this](const FetchResult& result) { VersionEnded(result); }, options);
}

void QuickForm::VersionEnded(const FetchResult& result) {
    phase_ = Phase::Idle;
    versionNotFound_ = result.notFound;
    Label1.SetCaption(result.failure ? FailureText(result.failure.text) : ReadData());
}

void QuickForm::Form_Unload() {
    EndProgram();
}

void QuickForm::Timer1_Timer() {
    SetCaption(QByteArray::number(SharedState().responseLength) + " bytes received");
}

void QuickForm::Timer2_Timer() {
    if (SharedState().StallTick())
        transfer_.Abort({TransferFailure::Kind::Stalled, "The update server did not answer."});
}

void QuickForm::Winsock1_Connect() {
    transfer_.Connected();
}

void QuickForm::Winsock1_DataArrival(std::int32_t /*bytesTotal*/) {
    transfer_.Arrived();
}

void QuickForm::Winsock1_CloseSck() {
    Winsock1->Close();
    Timer1.SetEnabled(false);
    // The end of a body framed by the close; a cut-off for any other.
    transfer_.Closed();
}

void QuickForm::Winsock1_Error(std::int16_t Number, const QByteArray& Description) {
    transfer_.Errored(Number, Description);
}

bool QuickForm::CompareVersions1(const QByteArray& offered) {
    return SharedState().CompareVersions(offered);
}

QByteArray QuickForm::ReadData() {
    UpdateState& state = SharedState();
    // The body is what responseBuffer holds now.
    state.SetResponse(state.responseBuffer);
    // A missing file's page is no version, whatever digits it holds.
    const bool notFound = versionNotFound_;
    if (!notFound && CompareVersions1(VersionFiles::OfferedVersionText(state.responseBuffer))) {
        DownloadUpdateCommand1.SetEnabled(true);
        DownloadUpdateCommand1.SetCaption("Download Update!");
        SetCaption("New VANTO available!");
    } else {
        state.SetResponse(notFound ? QByteArray("VANTO update file not found on the server.")
                                   : QByteArray("You have the most recent VANTO."));
    }
    return state.responseBuffer;
}
