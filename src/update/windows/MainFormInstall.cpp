// The main window's install items under UPDATES: "Install VANTO Update" while
// the held list marks an archive installable (enabled once the saved archive
// matches it), "Restore Previous VANTO (02.13)" while a version is kept, and
// "Start VANTO" while the list names VANTO's program. Install and restore run
// koru-cli's path and write its lines to the log, with staging's digits as
// its last line meanwhile.
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "update/formats/VersionFiles.h"
#include "update/install/InstallCheck.h"
#include "update/install/VantoStart.h"
#include "update/windows/MainForm.h"
#include "update/windows/UpdateState.h"
#include "update/windows/VantoQuestions.h"
#include "update/windows/WindowSeams.h"

namespace {

void Offer(MenuItem& item, bool shown, bool enabled) {
    item.SetVisible(shown);
    item.SetEnabled(shown && enabled);
}

QByteArray ListedProgram() {
    const std::optional<ReleaseList>& list = SharedState().releaseList;
    return list ? list->program : QByteArray();
}

} // namespace

void MainForm::ShowInstallItems() {
    // Without an installable list the menu stays as it always was.
    const std::optional<ReleaseList>& list = SharedState().releaseList;
    const bool offered = InstallCheck::InstallOffered(list, App::Path());
    Offer(mnuInstallUpdate, offered, offered && !InstallCheck::SavedInstallable(list).isEmpty());
    const QByteArray kept = InstallCheck::KeptVersion(App::Path());
    // After a restore the version kept is the newer one.
    const bool newer = !kept.isEmpty() &&
                       VersionFiles::IsNewer(
                           VersionFiles::VersionNumber(InstallCheck::InstalledVersion(App::Path())),
                           VersionFiles::VersionNumber(kept));
    mnuRestorePrevious.SetCaption(
        QByteArray(newer ? "Restore Newer VANTO (" : "Restore Previous VANTO (") + kept + ')');
    Offer(mnuRestorePrevious, !kept.isEmpty(), true);
    Offer(mnuStartVanto, !InstallCheck::Program(App::Path(), ListedProgram()).isEmpty(), true);
    mnuSpacer4.SetVisible(mnuInstallUpdate.Visible() || mnuRestorePrevious.Visible() ||
                          mnuStartVanto.Visible());
}

void MainForm::mnuInstallUpdate_Click() {
    RunExclusive(&MainForm::InstallUpdate, ScratchFiles::Unused);
}

void MainForm::mnuRestorePrevious_Click() {
    RunExclusive(&MainForm::RestorePrevious, ScratchFiles::Unused);
}

int MainForm::InstallUpdate() {
    SystemMessagesText1.SetText({});
    // The UPDATES menu is off meanwhile (RunExclusive), so the repaints start no second command.
    const UpdateInstaller::Progress shown =
        onStagingProgress
            ? onStagingProgress
            : WindowSeams::Repainting([this](const UpdateInstaller::Staging& staging, bool done) {
                  ShowStaging(staging, done);
              });
    const UpdateState& state = SharedState();
    Installed(InstallCheck::Install({}, state.releaseList, state.releaseList.missing, App::Path(),
                                    SystemMessagesText1, VantoQuestions::AskClosed,
                                    WindowSeams::AskYesNo, shown));
    return 0;
}

void MainForm::ShowStaging(const UpdateInstaller::Staging& staging, bool done) {
    QByteArray log = SystemMessagesText1.Text();
    // Text written meanwhile below the line has taken it away.
    if (!stagingLine_.isEmpty() && log.endsWith(stagingLine_))
        log.chop(stagingLine_.size());
    stagingLine_ = done ? QByteArray() : staging.Text();
    SystemMessagesText1.SetText(log + stagingLine_);
}

int MainForm::RestorePrevious() {
    SystemMessagesText1.SetText({});
    Installed(InstallCheck::Restore(App::Path(), ListedProgram(), SystemMessagesText1,
                                    VantoQuestions::AskClosed, WindowSeams::AskYesNo));
    return 0;
}

void MainForm::Installed(const InstallCheck::Ending& ending) {
    ShowInstallItems();
    // A window closed meanwhile asks nothing more.
    if (!ending.vantoClosed || ProgramEnded())
        return;
    if (const QByteArray why = VantoQuestions::OfferStart(ListedProgram()); !why.isEmpty()) {
        SystemMessagesText1.Append(why + "\r\n");
        SystemMessagesText1.AppendSeparator();
    }
}

void MainForm::mnuStartVanto_Click() {
    const QByteArray why =
        VantoStart::Start(App::Path(), InstallCheck::Program(App::Path(), ListedProgram()));
    SystemMessagesText1.Append((why.isEmpty() ? QByteArray("VANTO was started.") : why) + "\r\n");
    SystemMessagesText1.AppendSeparator();
}
