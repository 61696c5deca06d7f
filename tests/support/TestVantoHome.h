// A VANTO folder for one test (VANTO.ini with version 02.13, the folders KORU
// writes to) set as the program's folder, with KORU pointed at a loopback
// port where nobody listens, no proxy, and a resolver that asks no name server. Windows
// that connect on load (the quick window) thus never leave the machine.
#pragma once

#include "platform/winsock/WinSock.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

class TestVantoHome {
public:
    TestVantoHome();
    ~TestVantoHome();
    TestVantoHome(const TestVantoHome&) = delete;
    TestVantoHome& operator=(const TestVantoHome&) = delete;

    QString path() const { return dir_.path(); }
    QString filePath(const char* relative) const;
    void Write(const char* relative, const QByteArray& bytes) const;
    QByteArray Read(const char* relative) const; // "<missing>" when absent

    // The version text at byte 100 of VANTO.ini.
    void Install(const QByteArray& version) const;

    // host:port of a loopback port with nobody listening.
    static QByteArray ClosedServer();
    // The machine's own name, as the socket service reports it.
    static QByteArray LocalName();

private:
    QTemporaryDir dir_;
    QTemporaryDir state_; // the desktop's state folder, for what KORU remembers
    ws::HostResolver previousResolver_;
    QByteArray previousServer_;
    QList<QPair<const char*, QByteArray>> previousEnvironment_;
};
