// The console front end's engine: runs main-window commands in order against
// the same windows' logic and state as the menus, without a screen, and prints
// the whole message log after each command.
#pragma once

#include "platform/runtime/MsgBox.h"
#include "update/install/UpdateInstaller.h"
#include "update/windows/MainForm.h"

#include <QIODevice>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <sysexits.h>

// One console command: the menu item it clicks, as a user would.
struct ConsoleCommand {
    const char* name;
    const char* argument;         // the argument's name in the usage text, or nullptr for none
    MenuItem& (*item)(MainForm&); // the item clicked, after opening the heads above it; or none
    void (*prepare)(const QString& argument) = nullptr; // readies what the click will ask for
    bool (*failed)(MainForm&) = nullptr; // a failure the command reports without an error
    const char* word = nullptr;          // a word that must follow the name ("--check")
    bool argumentOptional = false;
    const char* description = nullptr; // in the usage text; the item's caption otherwise
};

// What a run's check offered, for the desktop notification of --notify.
struct ConsoleOffer {
    bool vanto = false;     // a newer VANTO
    bool helpLinks = false; // new help links
    QByteArray version;     // the VANTO version offered
    QString home;           // VANTO's folder
    QByteArray server;      // the server the check asked, as given
};
using ConsoleNotifier = std::function<void(const ConsoleOffer&)>;

class ConsoleRunner {
public:
    enum ExitCode : int {
        Success = 0,
        CommandFailed = 2,
        ItemDisabled = 3,
        DamagedFolder = UpdateInstaller::damagedStatus,
        VantoRunning = 5,
        BadUsage = EX_USAGE,
    };

    // The log goes to `out`; questions, message boxes and problems go to `err`.
    ConsoleRunner(QIODevice& out, QIODevice& err,
                  std::span<const ConsoleCommand> commands = Commands());

    // Runs "[OPTION]... COMMAND [ARG]..." (the arguments after the program's
    // name) and answers the exit status. Usage is checked before anything runs;
    // --home and --server take effect for the run.
    int Run(const QStringList& arguments);

    // Shows a download's progress on `err`, one line rewritten in place (for
    // a terminal); the log on `out` stays as it is.
    // How long a run waits at most for another KORU that holds VANTO's
    // folder (none: until it ends); a run with no one at the terminal gives up.
    void WaitAtMost(std::optional<std::chrono::seconds> atMost) { waitAtMost_ = atMost; }
    void ShowProgress(bool shown) { showProgress_ = shown; }

    // Shows control bytes of the log (but CR, LF and TAB) as ^X, for a
    // terminal, which would obey the escapes in the server's text; otherwise
    // the log goes out byte for byte.
    void ShowControlsVisibly(bool shown) { showControls_ = shown; }
    // The text so shown: C0 controls and DEL as ^@..^_ and ^?, C1 controls
    // (in UTF-8) as M-^@..M-^_.
    static QByteArray VisibleControls(const QByteArray& text);
    // Takes --notify: after the commands, an offer goes to `notifier`.
    void SetNotifier(ConsoleNotifier notifier) { notifier_ = std::move(notifier); }

    // Ends the run as closing the main window would, for a stopping signal: a
    // download under way keeps what arrived for a resume and takes a file it
    // created empty with it; the command's log is written, and Run answers
    // 128 plus the signal.
    void Interrupt(int signal);
    // The signal that stopped the run; 0 for none.
    int StoppedBy() const { return stoppedBy_; }

    // The console's commands.
    static std::span<const ConsoleCommand> Commands();
    QByteArray Usage() const;

private:
    struct Step {
        const ConsoleCommand* command;
        QString argument;
    };

    // The command `name`, the one with the word `following` when there is one.
    const ConsoleCommand* Find(const QString& name, const QString& following = {}) const;
    // True for a word that starts a command rather than a command's argument.
    bool IsCommand(const QString& word) const;
    int Refuse(const QByteArray& problem);
    int Execute(const QList<Step>& steps);
    int Stopped();
    int RunSteps(const QList<Step>& steps, MainForm& main);
    // Opens the heads above the command's item and clicks it; answers false
    // after reporting a disabled item.
    bool ClickThrough(const Step& step, MainForm& main);
    void Say(const QByteArray& line);

    QIODevice& out_;
    QIODevice& err_;
    std::span<const ConsoleCommand> commands_;
    MsgBoxResult answer_ = vbNo;
    bool showProgress_ = false;
    bool showControls_ = false;
    ConsoleNotifier notifier_;
    std::optional<std::chrono::seconds> waitAtMost_;
    bool notify_ = false;
    MainForm* main_ = nullptr; // while the commands run
    int stoppedBy_ = 0;
    QList<QByteArray> startLines_; // what the start's recovery told
};
