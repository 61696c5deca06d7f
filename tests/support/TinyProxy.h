// A real HTTP proxy (tinyproxy) on a loopback port for one test, with or
// without a login; it adds a Via header to what it forwards, which tells a
// test server that a request came through it.
#pragma once

#include "support/ServerProcess.h"

#include <QByteArray>
#include <QTemporaryDir>
#include <cstdint>

class TinyProxy {
public:
    // The tinyproxy program, or an empty text when it is not installed.
    static QString Program();

    // Starts the proxy; with a user it asks for that user and password.
    // Throws std::runtime_error when it cannot start.
    explicit TinyProxy(const QByteArray& user = {}, const QByteArray& password = {});

    std::uint16_t port() const { return port_; }
    // "http://[user:password@]127.0.0.1:port", as http_proxy names it.
    QByteArray Address(const QByteArray& login = {}) const;

private:
    QTemporaryDir work_;
    ServerProcess process_;
    std::uint16_t port_ = 0;
};
