#include "support/TestVantoHome.h"

#include "platform/runtime/App.h"
#include "support/LoopbackPort.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <arpa/inet.h>

TestVantoHome::TestVantoHome() : previousServer_(qgetenv("KORU_SERVER")) {
    // The machine's own name is the only name a test's socket looks up.
    previousResolver_ = ws::SetHostResolver([](const QByteArray& name) {
        ws::HostLookup lookup;
        lookup.name = name;
        if (name == "localhost" || name == LocalName())
            lookup.addresses.append(htonl(INADDR_LOOPBACK));
        else
            lookup.error = ws::WSAHOST_NOT_FOUND;
        return lookup;
    });
    QDir(path()).mkpath(QStringLiteral("files/temp"));
    QDir(path()).mkpath(QStringLiteral("files/koru/help"));
    Install("02.13");
    App::SetPath(path());
    qputenv("KORU_SERVER", ClosedServer());
    // The machine's proxy settings and the user's state stay out of the tests.
    for (const char* name :
         {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY", "XDG_STATE_HOME"}) {
        previousEnvironment_.append({name, qgetenv(name)});
        qunsetenv(name);
    }
    qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
}

TestVantoHome::~TestVantoHome() {
    for (const auto& [name, value] : previousEnvironment_) {
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    App::ReleaseInstance();
    App::SetPath({});
    if (previousServer_.isEmpty())
        qunsetenv("KORU_SERVER");
    else
        qputenv("KORU_SERVER", previousServer_);
    ws::SetHostResolver(previousResolver_);
}

QString TestVantoHome::filePath(const char* relative) const {
    return dir_.filePath(QString::fromLatin1(relative));
}

void TestVantoHome::Write(const char* relative, const QByteArray& bytes) const {
    QFile file(filePath(relative));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray TestVantoHome::Read(const char* relative) const {
    return ReadFile(filePath(relative));
}

void TestVantoHome::Install(const QByteArray& version) const {
    Write("VANTO.ini", QByteArray(99, ' ') + version + "\r\n");
}

QByteArray TestVantoHome::ClosedServer() {
    return "127.0.0.1:" + QByteArray::number(RefusingLoopbackPort());
}

QByteArray TestVantoHome::LocalName() {
    char name[256] = {};
    ws::gethostname(name, sizeof name);
    return name;
}
