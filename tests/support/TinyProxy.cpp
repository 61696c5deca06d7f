#include "support/TinyProxy.h"

#include "support/LoopbackPort.h"

#include <QFile>
#include <QStandardPaths>
#include <stdexcept>

QString TinyProxy::Program() {
    return QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
}

TinyProxy::TinyProxy(const QByteArray& user, const QByteArray& password) {
    if (Program().isEmpty())
        throw std::runtime_error("tinyproxy is not installed");
    const QString config = work_.filePath(QStringLiteral("tinyproxy.conf"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::uint16_t port = UnusedLoopbackPort();
        QByteArray text = "Port " + QByteArray::number(port) +
                          "\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 30\nMaxClients 20\n"
                          "LogLevel Error\nLogFile \"" +
                          QFile::encodeName(work_.filePath(QStringLiteral("tinyproxy.log"))) +
                          "\"\n";
        if (!user.isEmpty())
            text += "BasicAuth " + user + ' ' + password + '\n';
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) < 0)
            break;
        file.close();
        // -d keeps it in the foreground, as one process the test can stop.
        if (process_.Start(Program(), {QStringLiteral("-d"), QStringLiteral("-c"), config}, port)) {
            port_ = port;
            return;
        }
    }
    throw std::runtime_error("tinyproxy did not start");
}

QByteArray TinyProxy::Address(const QByteArray& login) const {
    return "http://" + (login.isEmpty() ? QByteArray() : login + '@') +
           "127.0.0.1:" + QByteArray::number(port_);
}
