// The main window's logic in a VANTO folder of its own (VantoFixture), and
// the same talking to a scripted server on loopback (CheckFixture): for the
// version check and the transfers under it.
#pragma once

#include "support/FormsFixture.h"
#include "support/ScriptedServer.h"
#include "update/windows/MainForm.h"

class VantoFixture : public FormsFixture {
protected:
    VantoFixture() {
        Start();
        // Ten stalled ticks end a silent transfer; short ticks keep the tests quick.
        main().Timer1.SetInterval(stallTickMs);
    }

    MainForm& main() { return forms.KORU2; }

    void Install(const QByteArray& version) const { home.Install(version); }
    void Write(const char* relative, const QByteArray& bytes) const { home.Write(relative, bytes); }
    QByteArray Read(const char* relative) const { return home.Read(relative); }

    void Check() { main().mnuCheckForUpdates.Click(); }

    bool VantoOffered() { return main().mnuAvailableDownload(0).Enabled(); }
    bool HelpLinksOffered() { return main().mnuAvailableDownload(1).Enabled(); }

    static constexpr int stallTickMs = 50;
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

// The log line of a failed transfer of `path`.
inline QByteArray Failed(const QByteArray& path, const QByteArray& reason) {
    return "TRANSFER FAILED: " + path + ": " + reason + "\r\n";
}

inline constexpr char killSwitchPath[] = "/files/koru/killswitch.txt";
inline constexpr char versionPath[] = "/files/koru/vanto_ver.txt";
inline constexpr char listPath[] = "/files/koru/koru_helplinks.txt";
inline constexpr char newsPath[] = "/files/koru/otherinfo.txt";
inline constexpr char archivePath[] = "/files/vanto.zip";
