#include "console/ConsoleRunner.h"

#include "app/HomeChoice.h"
#include "app/StartOptions.h"
#include "console/ProgressLine.h"
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "platform/runtime/FileDialog.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"
#include "update/files/ArchiveDownload.h"
#include "update/install/InstallCheck.h"
#include "update/install/RunningVanto.h"
#include "update/install/UpdateInstaller.h"
#include "update/net/UpdateServer.h"
#include "update/windows/Forms.h"
#include "update/windows/UpdateState.h"
#include "update/windows/WindowSeams.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstring>

namespace {

// The file the next file dialog answers with; empty cancels it.
QString fileAnswer;

// The archive install --check names; empty for the last one saved.
QString archiveAnswer;

bool transferFailed(MainForm& main) {
    return main.FailedTransfers() > 0;
}

void appendLines(MainForm& main, const QList<QByteArray>& lines) {
    for (const QByteArray& line : lines)
        main.SystemMessagesText1.Append(line + "\r\n");
}

// The check that ran verified the list afresh (or none); the archive is
// vetted against it, and the verdict ends the log.
bool archiveRefused(MainForm& main) {
    const UpdateState& state = SharedState();
    const InstallCheck::Result result =
        InstallCheck::Run(archiveAnswer, state.releaseList, state.releaseList.missing, App::Path());
    appendLines(main, result.lines);
    main.SystemMessagesText1.AppendSeparator();
    return !result.installable;
}

void takeArchive(const QString& archive) {
    archiveAnswer = archive;
    SharedState().releaseList.reset();
}

// --yes: wait for a running VANTO to close.
bool waitForVanto = false;
// The last install or restore found VANTO running and it did not close.
bool vantoStillRunning = false;

QByteArray awaitClosed(const RunningVanto& vanto, const FolderSwap::Say& say) {
    if (!waitForVanto)
        return "VANTO is running (" + QFile::encodeName(vanto.Path()) +
               "); close it first, or give --yes to wait for it to close.";
    say("VANTO is running; waiting up to 60 seconds for it to close...");
    if (!vanto.WaitClosed(std::chrono::seconds(60)))
        return "VANTO is still running after 60 seconds; close it and run the command again.";
    return {};
}

QByteArray listedProgram() {
    const std::optional<ReleaseList>& list = SharedState().releaseList;
    return list ? list->program : QByteArray();
}

// As archiveRefused, then the archive is swapped in; each phase is logged as
// it ends.
bool notInstalled(MainForm& main) {
    const UpdateState& state = SharedState();
    const InstallCheck::Ending ending = InstallCheck::Install(
        archiveAnswer, state.releaseList, state.releaseList.missing, App::Path(),
        main.SystemMessagesText1, awaitClosed, WindowSeams::AskYesNo, main.onStagingProgress);
    vantoStillRunning = ending.vantoRunning;
    return !ending.why.isEmpty();
}

bool notRestored(MainForm& main) {
    const InstallCheck::Ending ending = InstallCheck::Restore(
        App::Path(), listedProgram(), main.SystemMessagesText1, awaitClosed, WindowSeams::AskYesNo);
    vantoStillRunning = ending.vantoRunning;
    return !ending.why.isEmpty();
}

// Adding a command is adding a line here.
const ConsoleCommand commands[] = {
    {"plugins", nullptr, [](MainForm& f) -> MenuItem& { return f.mnuVANTOplugins; }},
    {"patches", nullptr, [](MainForm& f) -> MenuItem& { return f.mnuPublicPatches; }},
    {"search", nullptr, [](MainForm& f) -> MenuItem& { return f.mnuSearchForAnswers; }},
    {"check", nullptr, [](MainForm& f) -> MenuItem& { return f.mnuCheckForUpdates; }, nullptr,
     transferFailed},
    {"vanto-update", "FILE", [](MainForm& f) -> MenuItem& { return f.mnuAvailableDownload(0); },
     [](const QString& file) { fileAnswer = file; }, transferFailed},
    {"help-links-update", nullptr,
     [](MainForm& f) -> MenuItem& { return f.mnuAvailableDownload(1); }, nullptr, transferFailed},
    // FILE answers the save dialog of the VANTO download, when the batch runs one.
    {"all", "FILE", [](MainForm& f) -> MenuItem& { return f.mnuAllAvailableUpdates; },
     [](const QString& file) { fileAnswer = file; }, transferFailed},
    // Runs the check for a fresh list, then vets the archive; changes nothing.
    {"install", "ARCHIVE", [](MainForm& f) -> MenuItem& { return f.mnuCheckForUpdates; },
     takeArchive, archiveRefused, "--check", true,
     "Check for available updates, then vet ARCHIVE (by\n"
     "                        default the last saved) to install; changes nothing"},
    // The same, then the archive is swapped into VANTO's folder.
    {"install", "ARCHIVE", [](MainForm& f) -> MenuItem& { return f.mnuCheckForUpdates; },
     takeArchive, notInstalled, nullptr, true,
     "Check for available updates, then install ARCHIVE (by\n"
     "                        default the last saved) into VANTO's folder"},
    // No menu item: it swaps back what install kept.
    {"restore", nullptr, nullptr, nullptr, notRestored, nullptr, false,
     "Swap back the version of VANTO that the last install\n"
     "                        or restore kept"},
};

// Puts the program-wide seams back when a run ends, however it ends.
class SeamGuard {
public:
    SeamGuard(MsgBoxHandler msgBox, EndProgramHandler end)
        : msgBox_(SetMsgBoxHandler(std::move(msgBox))), end_(SetEndProgramHandler(std::move(end))),
          fileDialog_(SetFileDialogHandler(AnswerFileDialog)) {
        ResetProgramEnded();
        fileAnswer.clear();
        vantoStillRunning = false;
    }
    ~SeamGuard() {
        SetMsgBoxHandler(std::move(msgBox_));
        SetEndProgramHandler(std::move(end_));
        SetFileDialogHandler(std::move(fileDialog_));
    }
    SeamGuard(const SeamGuard&) = delete;
    SeamGuard& operator=(const SeamGuard&) = delete;

private:
    static FileDialogResult AnswerFileDialog(const FileDialogRequest& request) {
        if (fileAnswer.isEmpty())
            return {};
        return {true, QFileInfo(fileAnswer).absoluteFilePath(), request.filterIndex};
    }

    MsgBoxHandler msgBox_;
    EndProgramHandler end_;
    FileDialogHandler fileDialog_;
};

} // namespace

ConsoleRunner::ConsoleRunner(QIODevice& out, QIODevice& err,
                             std::span<const ConsoleCommand> commands)
    : out_(out), err_(err), commands_(commands) {}

std::span<const ConsoleCommand> ConsoleRunner::Commands() {
    return commands;
}

QByteArray ConsoleRunner::Usage() const {
    QByteArray text = "usage: koru-cli [OPTION]... COMMAND [ARG]...\n"
                      "Runs KORU's main-window commands in order, as clicks on their menu items,\n"
                      "and prints the whole message log after each one.\n\ncommands:\n";
    Forms forms; // for the captions
    for (const ConsoleCommand& command : commands_) {
        QByteArray call = command.name;
        if (command.word != nullptr)
            call += QByteArray(" ") + command.word;
        if (command.argument != nullptr)
            call += command.argumentOptional ? " [" + QByteArray(command.argument) + ']'
                                             : QByteArray(" ") + command.argument;
        if (call.size() >= 22)
            call += '\n' + QByteArray(24, ' ');
        text += "  " + call.leftJustified(22) +
                (command.description != nullptr ? QByteArray(command.description)
                                                : command.item(forms.KORU2).Caption().trimmed()) +
                '\n';
    }
    text += "\noptions:\n"
            "  --yes, --no           answer KORU's Yes/No questions (default: No); with\n"
            "                        --yes, install and restore wait up to 60 seconds\n"
            "                        for a running VANTO to close\n"
            "  --notify              after the commands, show a desktop notification of\n"
            "                        what the check offered, once per offer\n" +
            StartOptions::OptionLines() + StartOptions::EnvironmentText() +
            "\nExit status: 0 every command ran, 2 a command failed (install: the archive is\n"
            "refused or not installed; restore: nothing restored), 3 a command's menu item\n"
            "was disabled, 4 KORU's reserved folder .koru holds a damaged plan or could not\n"
            "be recovered (no command ran), 5 VANTO was running (install, restore: without\n"
            "--yes, or it did not close within 60 seconds; nothing changed), 64 bad usage\n"
            "or no VANTO folder to be found (installed KORU).\n";
    return text;
}

const ConsoleCommand* ConsoleRunner::Find(const QString& name, const QString& following) const {
    // The command whose word follows, else the one that takes none.
    const ConsoleCommand* found = nullptr;
    for (const ConsoleCommand& command : commands_) {
        if (name != QLatin1StringView(command.name))
            continue;
        if (command.word != nullptr && following == QLatin1StringView(command.word))
            return &command;
        if (found == nullptr || (found->word != nullptr && command.word == nullptr))
            found = &command;
    }
    return found;
}

bool ConsoleRunner::IsCommand(const QString& word) const {
    return Find(word) != nullptr || word == u"--notify";
}

int ConsoleRunner::Refuse(const QByteArray& problem) {
    Say(problem);
    err_.write("Try 'koru-cli --help'.\n");
    return BadUsage;
}

int ConsoleRunner::Run(const QStringList& arguments) {
    StartOptions options;
    qsizetype next = 0;
    while (next < arguments.size() && arguments.at(next).startsWith(u'-')) {
        const QString& option = arguments.at(next);
        if (option == u"--notify" && notifier_) {
            notify_ = true;
            ++next;
        } else if (option == u"--yes" || option == u"--no") {
            answer_ = option == u"--yes" ? vbYes : vbNo;
            ++next;
        } else if (!options.Take(arguments, next)) {
            return Refuse("unknown option " + option.toLocal8Bit());
        }
    }
    if (const auto status = options.Answer(out_, err_, "koru-cli", Usage()))
        return *status;
    if (next == arguments.size())
        return Refuse("no command given");
    if (options.chooseHome)
        return Refuse("--choose-home is koru's (the folder dialog)");
    if (options.check)
        return Refuse("--check is koru's (here the command check runs the check)");
    options.Apply();
    bool noFolder = false;
    const QString chosen = HomeChoice::ForStart(options.home, false, false, noFolder);
    if (noFolder) {
        Say(HomeChoice::NoFolderLine());
        return BadUsage;
    }
    if (!chosen.isEmpty())
        App::SetHome(chosen);

    QList<Step> steps;
    while (next < arguments.size()) {
        const QString& name = arguments.at(next++);
        // The notification is about the whole run, so it may also be asked for last.
        if (name == u"--notify" && notifier_) {
            notify_ = true;
            continue;
        }
        const auto found = Find(name, arguments.value(next));
        if (found == nullptr)
            return Refuse("unknown command " + name.toLocal8Bit());
        Step step{found, {}};
        if (found->word != nullptr) {
            if (next == arguments.size() || arguments.at(next) != QLatin1StringView(found->word))
                return Refuse(QByteArray(found->name) + " needs " + found->word);
            ++next;
        }
        if (found->argumentOptional) {
            if (next < arguments.size() && !IsCommand(arguments.at(next)))
                step.argument = arguments.at(next++);
        } else if (found->argument != nullptr) {
            if (next == arguments.size())
                return Refuse(QByteArray(found->name) + " needs " + found->argument);
            step.argument = arguments.at(next++);
        }
        steps.append(step);
    }
    // Usage is good: before any command, what an interrupted install left
    // is settled. Waiting for another KORU is said at once, not in the log.
    FolderSwap::SetWaiting([this](const QByteArray& line) { Say(line); }, waitAtMost_);
    startLines_.clear();
    if (UpdateInstaller::AtStart(App::Path(), [this](const QByteArray& line) {
            startLines_ << line;
        }) == FolderSwap::Recovery::Damaged) {
        for (const QByteArray& line : startLines_)
            Say(line);
        return DamagedFolder;
    }
    return Execute(steps);
}

int ConsoleRunner::Execute(const QList<Step>& steps) {
    if (stoppedBy_ != 0)
        return Stopped();
    SeamGuard seams(
        [this](const MsgBoxRequest& box) {
            if (!box.asksYesNo()) {
                Say(box.title + ": " + box.prompt);
                return vbOK;
            }
            Say(box.title + ": " + box.prompt + (answer_ == vbYes ? " [Yes]" : " [No]"));
            return answer_;
        },
        [] {}); // no loop to leave: the run stops after the current command
    waitForVanto = answer_ == vbYes;

    // The console plays the main window: the command line never picks quick mode.
    SetCommand({});
    Forms forms;
    MainForm& main = forms.KORU2;
    main.onNotice = [this](const QByteArray& notice) { Say(notice); };
    ProgressLine progress(err_);
    if (showProgress_) {
        main.onArchiveProgress = [&progress](std::int64_t received, std::int64_t size, bool done) {
            progress.Show(received, size, done);
        };
        main.onStagingProgress = [&progress](const UpdateInstaller::Staging& staging, bool done) {
            progress.Show(staging.Text(), done);
        };
    }
    // Above every command's log, which each command may start afresh.
    for (const QByteArray& line : startLines_)
        out_.write(line + "\r\n");
    main.Show();
    main_ = &main;
    const int status = RunSteps(steps, main);
    main_ = nullptr;
    if (stoppedBy_ != 0)
        return Stopped();
    if (notify_ && status != ItemDisabled) {
        // What the check offered, as the Download menu shows it.
        const ConsoleOffer offer{main.mnuAvailableDownload(0).Enabled(),
                                 main.mnuAvailableDownload(1).Enabled(),
                                 ArchiveDownload::VersionText(SharedState().remoteVersion),
                                 App::Path(), UpdateServerHost()};
        if (offer.vanto || offer.helpLinks)
            notifier_(offer);
    }
    return status;
}

int ConsoleRunner::RunSteps(const QList<Step>& steps, MainForm& main) {
    for (const Step& step : steps) {
        bool failed = false;
        try {
            if (!ClickThrough(step, main))
                return ItemDisabled;
            failed = step.command->failed != nullptr && step.command->failed(main);
        } catch (const RuntimeError& e) {
            Say(QByteArray(step.command->name) + ": error " + QByteArray::number(e.Number()) +
                ": " + e.Description() + " (" + e.Source() + ")");
            failed = true;
        } catch (const std::exception& e) {
            Say(QByteArray(step.command->name) + ": " + e.what());
            failed = true;
        }
        const QByteArray& log = main.SystemMessagesText1.Text();
        out_.write(showControls_ ? VisibleControls(log) : log);
        if (stoppedBy_ != 0)
            break;
        if (failed)
            return vantoStillRunning ? VantoRunning : CommandFailed;
        if (ProgramEnded())
            break;
    }
    return Success;
}

bool ConsoleRunner::ClickThrough(const Step& step, MainForm& main) {
    if (step.command->prepare != nullptr)
        step.command->prepare(step.argument);
    if (step.command->item == nullptr)
        return true;
    // Named as the menus show it: the user knows captions, not the items' names.
    QByteArrayList heads;
    for (MenuItem* item : step.command->item(main).Path()) {
        if (!item->Click()) {
            Say(QByteArray(step.command->name) + ": \"" + item->Caption().trimmed() + "\" " +
                (heads.isEmpty() ? QByteArray() : "(" + heads.join(" > ") + ") ") +
                "is disabled; no check in this run offered it.");
            return false;
        }
        heads << item->Caption().trimmed();
    }
    return true;
}

void ConsoleRunner::Interrupt(int signal) {
    stoppedBy_ = signal;
    if (main_ != nullptr && main_->Loaded())
        main_->Unload();
}

int ConsoleRunner::Stopped() {
    Say(QByteArray("stopped by SIG") + sigabbrev_np(stoppedBy_) + '.');
    return 128 + stoppedBy_;
}

void ConsoleRunner::Say(const QByteArray& line) {
    err_.write("koru-cli: " + line + '\n');
}

QByteArray ConsoleRunner::VisibleControls(const QByteArray& text) {
    QByteArray shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (byte == '\r' || byte == '\n' || byte == '\t') {
            shown += char(byte);
        } else if (byte < 0x20 || byte == 0x7F) {
            shown += '^';
            shown += char(byte ^ 0x40);
        } else if (byte == 0xC2 && next >= 0x80 && next < 0xA0) {
            shown += "M-^";
            shown += char(next - 0x40);
            ++i;
        } else {
            shown += char(byte);
        }
    }
    return shown;
}
