// A real nginx serving a folder on a loopback port, started for one test or
// benchmark and stopped with it. Runs as one process of the current user with
// every file it writes in a folder of its own.
#pragma once

#include "support/ServerProcess.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>

class NginxServer {
public:
    // The nginx program, or an empty text when it is not installed.
    static QString Program();

    // A certificate and key nginx answers TLS with.
    struct Tls {
        QString certificate;
        QString key;
    };

    // Starts nginx on a free loopback port, speaking TLS when `tls` names
    // files, with `rules` (such as redirects) in its server block before the
    // files; throws std::runtime_error when it cannot.
    explicit NginxServer(const QString& root, const Tls& tls = {}, const QString& rules = {});
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    std::uint16_t port() const { return port_; }
    qint64 pid() const { return process_.pid(); } // the one nginx process
    QByteArray hostAndPort() const;

private:
    bool TryStart(std::uint16_t port);

    QString root_;
    Tls tls_;
    QString rules_;
    QTemporaryDir work_;
    ServerProcess process_;
    std::uint16_t port_ = 0;
};
