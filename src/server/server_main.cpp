// koru-sample-server DIR [PORT]: serves DIR over HTTP/1.1 on 127.0.0.1 for
// the demo and the tests. Port 0 (the default) takes any free port; the first
// line printed names the address.
#include "BuildConfig.h"
#include "platform/runtime/RuntimeError.h"
#include "server/SampleServer.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <sys/resource.h>
#include <sysexits.h>

namespace {

// Each connection holds a descriptor, two while a file is sent: take as many
// as this process may have, so a crowd of clients waits less often.
void RaiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            std::perror("koru-sample-server: keeping the descriptor limit");
    }
}

} // namespace

namespace {

const char usage[] = "usage: koru-sample-server DIR [PORT]\n"
                     "Serves the files under DIR over HTTP/1.1 on 127.0.0.1 (port 0: any).\n"
                     "  -h, --help  print this help and exit\n"
                     "  --version   print the version and exit\n";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 2 && (arguments.at(1) == u"--help" || arguments.at(1) == u"-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (arguments.size() == 2 && arguments.at(1) == u"--version") {
        std::puts("koru-sample-server " KORU_VERSION);
        return 0;
    }
    bool portOk = arguments.size() < 3;
    const int port = portOk ? 0 : arguments.at(2).toInt(&portOk);
    if (arguments.size() < 2 || arguments.size() > 3 || !portOk || port < 0 || port > 65535 ||
        !QFileInfo(arguments.at(1)).isDir()) {
        const QByteArray problem =
            arguments.size() < 2   ? QByteArray("no DIR given")
            : arguments.size() > 3 ? QByteArray("too many arguments")
            : !portOk || port < 0 || port > 65535
                ? "PORT " + arguments.at(2).toLocal8Bit() + ": not a number from 0 to 65535"
                : "DIR " + arguments.at(1).toLocal8Bit() + ": no such folder";
        std::fprintf(stderr, "koru-sample-server: %s\n", problem.constData());
        std::fputs("Try 'koru-sample-server --help'.\n", stderr);
        return EX_USAGE;
    }
    RaiseDescriptorLimit();
    SampleServer server(arguments.at(1), port);
    try {
        server.Start();
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "koru-sample-server: %s\n", e.Description().constData());
        return 1;
    }
    std::printf("serving %s on http://127.0.0.1:%d/\n",
                QFileInfo(arguments.at(1)).absoluteFilePath().toLocal8Bit().constData(),
                server.Port());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
