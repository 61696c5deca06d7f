#include "app/StartOptions.h"

#include "BuildConfig.h"
#include "platform/runtime/App.h"
#include "update/net/ServerAddress.h"
#include "update/net/UpdateServer.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

// "--name VALUE" or "--name=VALUE" at `next`; moves past what it took.
std::optional<QString> TakeValue(const QStringList& arguments, qsizetype& next, QStringView name,
                                 bool& missing) {
    const QString& argument = arguments.at(next);
    if (argument == name) {
        ++next;
        if (next == arguments.size()) {
            missing = true;
            return QString();
        }
        return arguments.at(next++);
    }
    if (argument.startsWith(name) && argument.mid(name.size()).startsWith(u'=')) {
        ++next;
        return argument.mid(name.size() + 1);
    }
    return std::nullopt;
}

// One server or a list of mirrors; each goes into a request's Host line.
bool IsServerAddress(const QByteArray& server) {
    QByteArray problem;
    return !ServerAddress::ParseList(server, problem).isEmpty();
}

} // namespace

StartOptions::QtOption StartOptions::QtOptionAt(const QStringList& arguments, qsizetype at) {
    QStringView option = arguments.at(at);
    if (option.startsWith(u"--"))
        option = option.mid(1);
    static const QStringView flags[] = {u"-reverse", u"-testability", u"-widgetcount", u"-qdevel",
                                        u"-qdebug",  u"-nograb",      u"-dograb",      u"-sync"};
    static const QStringView valued[] = {u"-platform",
                                         u"-platformpluginpath",
                                         u"-platformtheme",
                                         u"-plugin",
                                         u"-qwindowgeometry",
                                         u"-geometry",
                                         u"-qwindowicon",
                                         u"-icon",
                                         u"-style",
                                         u"-stylesheet",
                                         u"-session",
                                         u"-display",
                                         u"-name",
                                         u"-visual"};
    if (option == u"-qwindowtitle" || option == u"-title")
        return {std::min<qsizetype>(2, arguments.size() - at), true};
    if (std::find(std::begin(valued), std::end(valued), option) != std::end(valued))
        return {std::min<qsizetype>(2, arguments.size() - at), false};
    if (std::find(std::begin(flags), std::end(flags), option) != std::end(flags) ||
        option.startsWith(u"-style=") || option.startsWith(u"-stylesheet=") ||
        option.startsWith(u"-qmljsdebugger="))
        return {1, false};
    return {};
}

QList<qsizetype> StartOptions::ForQt(const QStringList& arguments,
                                     const std::function<bool(const QByteArray&)>& modeWord) {
    QList<qsizetype> kept;
    for (qsizetype at = 0; at < arguments.size();) {
        const QtOption option = QtOptionAt(arguments, at);
        const qsizetype length = std::max<qsizetype>(option.length, 1);
        if (option.length == 0 ||
            (!option.title && !modeWord(arguments.mid(at, length).join(u' ').toLocal8Bit()))) {
            for (qsizetype i = at; i < at + length; ++i)
                kept.append(i);
        }
        at += length;
    }
    return kept;
}

StartOptions StartOptions::Parse(const QStringList& arguments) {
    StartOptions options;
    qsizetype next = 0;
    while (next < arguments.size()) {
        if (arguments.at(next) == u"--") {
            options.rest += arguments.mid(next + 1);
            break;
        }
        if (!options.Take(arguments, next))
            options.rest.append(arguments.at(next++));
    }
    return options;
}

bool StartOptions::Take(const QStringList& arguments, qsizetype& next) {
    const QString& argument = arguments.at(next);
    if (argument == u"--help" || argument == u"-h") {
        help = true;
        ++next;
        return true;
    }
    if (argument == u"--choose-home") {
        chooseHome = true;
        ++next;
        return true;
    }
    if (argument == u"--check") {
        check = true;
        ++next;
        return true;
    }
    if (argument == u"--version") {
        version = true;
        ++next;
        return true;
    }
    bool missing = false;
    QByteArray trouble;
    if (const auto dir = TakeValue(arguments, next, u"--home", missing)) {
        if (missing)
            trouble = "--home needs DIR";
        else if (!QFileInfo(*dir).isDir())
            trouble = "--home " + dir->toLocal8Bit() + ": no such folder";
        else
            home = QDir::cleanPath(QDir(*dir).absolutePath());
    } else if (const auto address = TakeValue(arguments, next, u"--server", missing)) {
        if (missing)
            trouble = "--server needs HOST[:PORT]";
        else if (!IsServerAddress(address->toLocal8Bit()))
            trouble = "--server " + address->toLocal8Bit() +
                      ": not HOST or HOST:PORT with a port from 1 to 65535";
        else
            server = address->toLocal8Bit();
    } else {
        return false;
    }
    if (problem.isEmpty())
        problem = trouble;
    return true;
}

std::optional<int> StartOptions::Answer(QIODevice& out, QIODevice& err, const QByteArray& program,
                                        const QByteArray& usage) const {
    if (!problem.isEmpty()) {
        err.write(program + ": " + problem + "\nTry '" + program + " --help'.\n");
        return BadUsage;
    }
    if (help) {
        out.write(usage);
        return 0;
    }
    if (version) {
        out.write(program + ' ' + KORU_VERSION + '\n');
        return 0;
    }
    return std::nullopt;
}

void StartOptions::Apply() const {
    App::SetHome(home);
    SetUpdateServer(server);
}

QByteArray StartOptions::OptionLines() {
    return "  --home DIR            VANTO's folder, when KORU's own folder has no VANTO.ini\n"
           "  --server HOST[:PORT]  the update server to ask (port 80 unless given);\n"
           "                        https://HOST[:PORT] for TLS, mirrors separated by commas\n"
           "  -h, --help            print this help and exit\n"
           "  --version             print the version and exit\n";
}

QByteArray StartOptions::EnvironmentText() {
    return "\nenvironment:\n"
           "  KORU_HOME             VANTO's folder, when KORU's own folder has no\n"
           "                        VANTO.ini and --home is not given (otherwise the\n"
           "                        current folder; an installed KORU takes it only with\n"
           "                        a VANTO.ini, else the folder remembered in\n"
           "                        $XDG_CONFIG_HOME/koru/koru.conf)\n"
           "  KORU_SERVER           the update server, when --server is not given\n"
           "                        (otherwise " KORU_SERVER_HOST ")\n"
           "  http_proxy, no_proxy  an HTTP proxy, http://[USER:PASSWORD@]HOST[:PORT],\n"
           "                        and the hosts reached without it, as curl reads them\n"
           "  https_proxy           the proxy for https servers (a CONNECT tunnel)\n"
           "  SSL_CERT_FILE, SSL_CERT_DIR  the trusted certificates, as for curl\n";
}

QByteArray StartOptions::KoruUsage() {
    return "usage: koru [OPTION]... [update]\n"
           "Opens KORU's main window, or only the quick update window when the command\n"
           "line holds the word \"update\" in any case (koru update, koru /UPDATE).\n"
           "The values of --home and --server do not count as that word; elsewhere it\n"
           "counts, in a value of Qt's own options too (koru -style Update), and such\n"
           "an option is then not given to Qt.\n"
           "\noptions:\n"
           "  --choose-home         ask for VANTO's folder and remember it for later starts\n"
           "  --check               check for available updates as the main window opens\n" +
           OptionLines() + EnvironmentText() +
           "  DISPLAY, WAYLAND_DISPLAY  the display the windows open on (koru-cli needs none)\n"
           "\nkoru-cli runs the main window's commands from a console (koru-cli --help).\n";
}
