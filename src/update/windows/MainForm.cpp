#include "update/windows/MainForm.h"

#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "update/net/SocketConnection.h"
#include "update/net/UpdateServer.h"
#include "update/windows/Forms.h"
#include "update/windows/UpdateState.h"

namespace {
constexpr char notYetAvailable[] = "THIS FEATURE IS NOT YET AVAILABLE.\r\n";
}

MainForm::MainForm(Forms& forms)
    : Form("KORU"), mnuUpdate("mnuUpdate", "UPDATES     "),
      mnuCheckForUpdates("mnuCheckForUpdates", "Check for available updates", &mnuUpdate),
      mnuSpacer2("mnuSpacer2", "-", &mnuUpdate), mnuDownload("mnuDownload", "Download", &mnuUpdate),
      mnuAllAvailableUpdates("mnuAllAvailableUpdates", "All Available Updates", &mnuDownload),
      mnuSpacer3("mnuSpacer3", "-", &mnuDownload),
      mnuAvailableDownload("mnuAvailableDownload", {"VANTO Update", "Help Links Update"},
                           &mnuDownload),
      mnuSpacer4("mnuSpacer4", "-", &mnuUpdate),
      mnuInstallUpdate("mnuInstallUpdate", "Install VANTO Update", &mnuUpdate),
      mnuRestorePrevious("mnuRestorePrevious", "Restore Previous VANTO", &mnuUpdate),
      mnuStartVanto("mnuStartVanto", "Start VANTO", &mnuUpdate),
      mnuSpecialDownloads("mnuSpecialDownloads", "SPECIAL DOWNLOADS     "),
      mnuVANTOplugins("mnuVANTOplugins", "VANTO Plug-ins", &mnuSpecialDownloads),
      mnuPublicPatches("mnuPublicPatches", "Public Patches", &mnuSpecialDownloads),
      mnuHelp("mnuHelp", "HELP     "), mnuHelpLinks("mnuHelpLinks", "Help Links", &mnuHelp),
      mnuSearchForAnswers("mnuSearchForAnswers", "Search For Answers", &mnuHelp), forms_(forms) {
    SystemMessagesText1.onChange = [this] { SystemMessagesText1_Change(); };
    Timer1.onTimer = [this] { Timer1_Timer(); };
    mnuCheckForUpdates.onClick = [this] { mnuCheckForUpdates_Click(); };
    mnuDownload.onClick = [this] { mnuDownload_Click(); };
    mnuAllAvailableUpdates.onClick = [this] { mnuAllAvailableUpdates_Click(); };
    mnuAvailableDownload.onClick = [this](int index) { mnuAvailableDownload_Click(index); };
    mnuInstallUpdate.onClick = [this] { mnuInstallUpdate_Click(); };
    mnuRestorePrevious.onClick = [this] { mnuRestorePrevious_Click(); };
    mnuStartVanto.onClick = [this] { mnuStartVanto_Click(); };
    mnuVANTOplugins.onClick = [this] { mnuVANTOplugins_Click(); };
    mnuPublicPatches.onClick = [this] { mnuPublicPatches_Click(); };
    mnuHelpLinks.onClick = [this] { mnuHelpLinks_Click(); };
    mnuSearchForAnswers.onClick = [this] { mnuSearchForAnswers_Click(); };

    transfer_.onStart = [this] { SharedState().Follow(transfer_); };
    // Each connection starts the stall count afresh and the timer with it:
    // a server's close, which stops the timer, may be followed by a resend.
    transfer_.onConnecting = [this] {
        SharedState().stallTicks = 0;
        Timer1.SetEnabled(true);
    };
    transfer_.onArrival = [this] {
        SharedState().Follow(transfer_);
        const ResponseGathering& response = transfer_.Response();
        if (onArchiveProgress && response.ReceivingFile())
            onArchiveProgress(response.FileReceived(), response.FileSize(), false);
    };
    transfer_.onStop = [this] { Timer1.SetEnabled(false); };
    archiveFlow_.onResumed = [this](std::int64_t at) {
        ShowAboveProgress("Resuming at " + QByteArray::number(at) + " bytes.");
    };
    archiveFlow_.onNote = [this](const QByteArray& line) { ShowAboveProgress(line); };
    archiveFlow_.releaseList = &SharedState().releaseList;
    transfer_.onNextServer = [this](const QByteArray& server) {
        ShowAboveProgress("Trying the next server, " + server + ".");
    };
}

bool MainForm::QuickModeRequested(const QByteArray& commandLine) {
    return commandLine.toLower().contains("update");
}

QList<MenuItem*> MainForm::MenuBar() {
    return {&mnuUpdate, &mnuSpecialDownloads, &mnuHelp};
}

void MainForm::InitializeControls() {
    SystemMessagesText1.Reset();
    Timer1.SetEnabled(false);
    Timer1.SetInterval(1000);
    Tag.clear();
    for (MenuItem* head : MenuBar()) {
        head->SetEnabled(true);
        for (MenuItem* item : head->Items()) {
            item->SetEnabled(true);
            for (MenuItem* sub : item->Items())
                sub->SetEnabled(true);
        }
    }
    // The downloads are offered by the version check.
    mnuAllAvailableUpdates.SetEnabled(false);
    mnuAvailableDownload(0).SetEnabled(false);
    mnuAvailableDownload(1).SetEnabled(false);
    ShowInstallItems();
}

void MainForm::ReleaseControls() {
    // A transfer still waiting ends with the window that owns its connection; the
    // job that started it finds no connection for its next fetch.
    const std::shared_ptr<Connection> closing = std::move(Winsock2);
    FailTransfer({TransferFailure::Kind::Busy, "The main window was closed."});
    Timer1.SetEnabled(false);
}

void MainForm::Form_Load() {
    // Failures end the transfer at once; the log says why.
    Winsock2 = SocketConnection::Create(*this, &MainForm::Winsock2_Connect,
                                        &MainForm::Winsock2_DataArrival,
                                        &MainForm::Winsock2_CloseSck, &MainForm::Winsock2_Error);
    SharedState().serverHost = UpdateServerHost();
    SystemMessagesText1.SetText("Welcome to KORU.\r\n");
    SystemMessagesText1.AppendSeparator();
    for (const QByteArray& line : startLines)
        SystemMessagesText1.Append(line + "\r\n");
    if (!startLines.isEmpty())
        SystemMessagesText1.AppendSeparator();
    if (QuickModeRequested(Command())) {
        Hide();
        // The quick window ends the program when it closes, so this never returns in use.
        forms_.KORU1.Show(vbModal);
    }
}

void MainForm::Form_Unload() {
    if (!forms_.KORUHelp1.Visible())
        EndProgram();
}

void MainForm::SystemMessagesText1_Change() {
    SystemMessagesText1.SetSelStart(SystemMessagesText1.Text().size());
}

void MainForm::mnuDownload_Click() {
    mnuAllAvailableUpdates.SetEnabled(false);
    if (mnuAvailableDownload(0).Enabled())
        mnuAllAvailableUpdates.SetEnabled(true);
    if (mnuAvailableDownload(1).Enabled())
        mnuAllAvailableUpdates.SetEnabled(true);
}

void MainForm::mnuHelpLinks_Click() {
    Form& help = forms_.KORUHelp1;
    help.Load();
    help.Move(Left(), Top());
    help.SetVisible(true);
}

JobTools MainForm::Tools() {
    UpdateState& state = SharedState();
    return {&transfer_,         &Winsock2,        &SystemMessagesText1,  App::Path(),
            &state.releaseList, state.serverHost, &state.responseBuffer, &state.serviceMode};
}

void MainForm::ShowOffers(const Offers& offers) {
    if (offers.vanto)
        mnuAvailableDownload(0).SetEnabled(*offers.vanto);
    if (offers.helpLinks)
        mnuAvailableDownload(1).SetEnabled(*offers.helpLinks);
}

void MainForm::ReplaceLog(const QByteArray& text) {
    // A download running meanwhile loses its progress line with the old text.
    progressShown_ = false;
    SystemMessagesText1.SetText(text);
}

bool MainForm::ShowServiceOffMessage() {
    const UpdateState& state = SharedState();
    if (state.serviceMode != serviceOff)
        return false;
    ReplaceLog(state.responseBuffer + "\r\n");
    SystemMessagesText1.AppendSeparator();
    return true;
}

void MainForm::mnuVANTOplugins_Click() {
    if (ShowServiceOffMessage())
        return;
    ReplaceLog(
        "VANTO has a unique plugin format that allows people to add simple features to VANTO.  "
        "Here you can view and download plug-ins.  Once downloaded, VANTO will instantly "
        "recognize them.");
    SystemMessagesText1.Append("\r\n\r\n");
    SystemMessagesText1.Append(notYetAvailable);
    SystemMessagesText1.AppendSeparator();
}

void MainForm::mnuPublicPatches_Click() {
    if (ShowServiceOffMessage())
        return;
    ReplaceLog(
        "A list of downloadable public patches for you to use.  Some of these will be intended "
        "as full hacks.  Others will simply add a feature or two to your ROM.\r\n");
    SystemMessagesText1.Append("Some patches will include the ASM used to make the patch.  A "
                               "description accompanies each patch so you know what to "
                               "expect.\r\n\r\n");
    SystemMessagesText1.Append(notYetAvailable);
    SystemMessagesText1.AppendSeparator();
}

void MainForm::mnuSearchForAnswers_Click() {
    // The same whatever the server switch says.
    ReplaceLog("Search KORU's Database of VANTO information.\r\n");
    SystemMessagesText1.Append(notYetAvailable);
    SystemMessagesText1.AppendSeparator();
}
