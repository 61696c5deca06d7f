// The main window's logic in a VANTO folder of its own (VantoFixture), and
// the same talking to a scripted server on loopback (CheckFixture): for the
// version check and the transfers under it.
#pragma once

#include "platform/App.h"
#include "platform/WinSock.h"
#include "socket/CSocketMaster.h"
#include "support/FormsFixture.h"
#include "support/ScriptedServer.h"
#include "update/MainForm.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class VantoFixture : public FormsFixture {
protected:
    VantoFixture() {
        // No test asks a name server: the machine's own name is the only name looked up.
        previousResolver_ = ws::SetHostResolver([](const QByteArray& name) {
            ws::HostLookup lookup;
            lookup.name = name;
            if (name == "localhost" || name == QByteArray(LocalName()))
                lookup.addresses.append(ws::inet_addr("127.0.0.1"));
            else
                lookup.error = ws::WSAHOST_NOT_FOUND;
            return lookup;
        });
        App::SetPath(home.path());
        QDir(home.path()).mkpath(QStringLiteral("files/temp"));
        QDir(home.path()).mkpath(QStringLiteral("files/koru/help"));
        Install("02.13");
        Start();
        // Ten stalled ticks end a silent transfer; short ticks keep the tests quick.
        main().Timer1.SetInterval(stallTickMs);
    }
    ~VantoFixture() override {
        App::SetPath({});
        ws::SetHostResolver(previousResolver_);
    }

    static const char* LocalName() {
        static char name[256] = {};
        if (name[0] == 0)
            ws::gethostname(name, sizeof name);
        return name;
    }

    MainForm& main() { return forms.KORU2; }

    void Install(const QByteArray& version) const {
        Write("VANTO.ini", QByteArray(99, ' ') + version + "\r\n");
    }
    void Write(const char* relative, const QByteArray& bytes) const {
        QFile file(home.filePath(QString::fromLatin1(relative)));
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(bytes);
    }
    QByteArray Read(const char* relative) const {
        QFile file(home.filePath(QString::fromLatin1(relative)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    void Check() { main().mnuCheckForUpdates.Click(); }

    bool VantoOffered() { return main().mnuAvailableDownload(0).Enabled(); }
    bool HelpLinksOffered() { return main().mnuAvailableDownload(1).Enabled(); }

    static constexpr int stallTickMs = 20;
    ws::HostResolver previousResolver_;
    QTemporaryDir home;
};

class CheckFixture : public VantoFixture {
protected:
    CheckFixture() { SharedState().serverHost = server.hostAndPort(); }

    // A server whose files say: switch absent, VANTO `offered`, the list and the news.
    void Publish(const QByteArray& offered = "02.14", const QByteArray& list = "HL0007\r\nmanual") {
        server.script("/files/koru/vanto_ver.txt",
                      ScriptedServer::Ok("VER = " + offered + "\r\nRelease notes."));
        server.script("/files/koru/koru_helplinks.txt", ScriptedServer::Ok(list));
        server.script("/files/koru/otherinfo.txt", ScriptedServer::Ok("News of the day."));
    }

    ScriptedServer server;
};

inline QByteArray Failed(const QByteArray& reason) {
    return "TRANSFER FAILED: " + reason + "\r\n";
}
