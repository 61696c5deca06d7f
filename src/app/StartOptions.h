// The options koru and koru-cli take before anything runs: --help, --version,
// --home DIR and --server HOST[:PORT]. They are consumed, values included, so
// that only the rest of the command line (Qt's options and their values
// included) takes part in the mode choice.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <sysexits.h>

struct StartOptions {
    bool help = false;
    bool version = false;
    bool chooseHome = false; // --choose-home: ask for VANTO's folder again (koru)
    bool check = false;      // --check: check for available updates at once (koru)
    QString home;            // --home: VANTO's folder, absolute
    QByteArray server;       // --server: host or host:port
    QStringList rest;        // every other argument, in order
    QByteArray problem;      // why the usage is bad; empty when it is not

    // Takes every option of ours anywhere on the line, up to a "--" after
    // which everything belongs to the rest.
    static StartOptions Parse(const QStringList& arguments);

    // Takes the option at `next` with its value and moves past it; false when
    // the argument there is none of ours.
    bool Take(const QStringList& arguments, qsizetype& next);

    // Qt's own option at `at`, as QGuiApplication and QApplication take it off
    // the line (one dash or two): how many arguments it spans, 0 when it is
    // none of Qt's, and whether it names the first window's caption.
    struct QtOption {
        qsizetype length = 0;
        bool title = false;
    };
    static QtOption QtOptionAt(const QStringList& arguments, qsizetype at);
    // The places on the line of the arguments Qt is given: all but Qt's
    // caption options (the main window's caption is "KORU" whatever -title
    // says) and Qt's options that `modeWord` finds the mode word in, which
    // belong to the mode choice (-style Update names no style).
    static QList<qsizetype> ForQt(const QStringList& arguments,
                                  const std::function<bool(const QByteArray&)>& modeWord);

    // Prints the version, the usage or the problem and answers the exit
    // status when the program ends here; nothing when it goes on.
    std::optional<int> Answer(QIODevice& out, QIODevice& err, const QByteArray& program,
                              const QByteArray& usage) const;

    // Hands --home and --server to the program; an absent option clears an
    // earlier one.
    void Apply() const;

    // The help text's lines on these options, and on the environment.
    static QByteArray OptionLines();
    static QByteArray EnvironmentText();
    // koru's whole help text.
    static QByteArray KoruUsage();

    static constexpr int BadUsage = EX_USAGE;
};
