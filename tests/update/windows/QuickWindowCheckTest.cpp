// The quick update window's check: it asks for the version file as it loads
// and shows the answer in its label, without ever waiting.
#include "platform/runtime/Events.h"
#include "platform/runtime/FolderLock.h"
#include "platform/runtime/MsgBox.h"
#include "support/FormsFixture.h"
#include "support/Minisign.h"
#include "support/ScriptedServer.h"
#include "support/TinyProxy.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

class QuickWindowCheckTest : public FormsFixture {
protected:
    QuickWindowCheckTest() {
        qputenv("KORU_SERVER", server.hostAndPort());
        previousMsgBox_ = SetMsgBoxHandler([this](const MsgBoxRequest& request) {
            boxes.append(request.title + "|" + request.prompt + "|" +
                         QByteArray::number(request.buttons));
            return vbOK;
        });
    }
    ~QuickWindowCheckTest() override { SetMsgBoxHandler(std::move(previousMsgBox_)); }

    QuickForm& quick() { return forms.KORU1; }

    // Loads the window and lets its events run until the label shows an answer.
    void LoadAndWait() {
        quick().Load();
        const QDeadlineTimer deadline(5000);
        WaitUntil([&] {
            return !quick().Label1.Caption().isEmpty() || !quick().Loaded() ||
                   deadline.hasExpired();
        });
    }

    ScriptedServer server;
    QByteArrayList boxes;

private:
    MsgBoxHandler previousMsgBox_;
};

const QByteArray versionFile = "VER = 02.14\r\nRelease notes.";

TEST_F(QuickWindowCheckTest, NewerVersionOffersTheDownload) {
    server.script("/files/koru/vanto_ver.txt", ScriptedServer::Ok(versionFile));
    LoadAndWait();
    EXPECT_EQ(quick().Label1.Caption(), versionFile);
    EXPECT_TRUE(quick().DownloadUpdateCommand1.Enabled());
    EXPECT_EQ(quick().DownloadUpdateCommand1.Caption(), QByteArray("Download Update!"));
    EXPECT_EQ(quick().Caption(), QByteArray("New VANTO available!"));
    quick().Timer1_Timer();
    EXPECT_EQ(quick().Caption(), QByteArray::number(versionFile.size()) + " bytes received");

    const QByteArray host = server.hostAndPort();
    EXPECT_EQ(server.requests(),
              QList<QByteArray>{"GET http://" + host + "/files/koru/vanto_ver.txt HTTP/1.1\r\n" +
                                "Host: " + host +
                                "\r\nAccept: */*\r\nAccept-Language: en\r\n"
                                "Connection: Keep-Alive\r\n\r\n"});
}

TEST_F(QuickWindowCheckTest, AsksThroughTheProxy) {
    if (TinyProxy::Program().isEmpty())
        GTEST_SKIP() << "tinyproxy is not installed (scripts/install-deps installs it)";
    TinyProxy proxy;
    qputenv("http_proxy", proxy.Address());
    server.script("/files/koru/vanto_ver.txt", ScriptedServer::Ok(versionFile));
    LoadAndWait();
    qunsetenv("http_proxy");
    EXPECT_EQ(quick().Label1.Caption(), versionFile);
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_TRUE(server.requests()[0].toLower().contains("\r\nvia: "));
}

TEST_F(QuickWindowCheckTest, EqualVersionIsTheMostRecent) {
    server.script("/files/koru/vanto_ver.txt", ScriptedServer::Ok("VER = 02.13"));
    LoadAndWait();
    EXPECT_EQ(quick().Label1.Caption(), QByteArray("You have the most recent VANTO."));
    EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled());
    EXPECT_EQ(quick().Caption(), QByteArray("VANTO Update"));
}

TEST_F(QuickWindowCheckTest, MissingVersionFileIsReported) {
    // A not-found page whose characters 7 to 11 read as version 4, with either status.
    for (const QByteArray status : {"404 Not Found", "200 OK"}) {
        server.script("/files/koru/vanto_ver.txt",
                      {{{ScriptedServer::Response(status, "<h1>404 Not Found</h1>")}}});
        LoadAndWait();
        EXPECT_EQ(quick().Label1.Caption(),
                  QByteArray("VANTO update file not found on the server."))
            << status.constData();
        EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled()) << status.constData();
        quick().Unload();
    }
}

TEST_F(QuickWindowCheckTest, UnreachableServerIsShownInTheLabel) {
    qputenv("KORU_SERVER", TestVantoHome::ClosedServer());
    LoadAndWait();
    EXPECT_EQ(quick().Label1.Caption(), QByteArray("TRANSFER FAILED: Connection refused."));
    EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled());
}

TEST_F(QuickWindowCheckTest, ErrorStatusIsShownInTheLabel) {
    server.script("/files/koru/vanto_ver.txt", {{{ScriptedServer::Response("502 Bad Gateway", "")}},
                                                ScriptedServer::Ending::StaySilent});
    LoadAndWait();
    EXPECT_EQ(quick().Label1.Caption(), QByteArray("TRANSFER FAILED: HTTP/1.1 502 Bad Gateway"));
}

TEST_F(QuickWindowCheckTest, SilentServerIsGivenUpInTheLabel) {
    server.script("/files/koru/vanto_ver.txt", {{}, ScriptedServer::Ending::StaySilent});
    quick().Timer2.SetInterval(50); // eleven short ticks without data
    LoadAndWait();
    EXPECT_EQ(quick().Label1.Caption(),
              QByteArray("TRANSFER FAILED: The update server did not answer."));
    EXPECT_FALSE(quick().Timer2.Enabled());
}

TEST_F(QuickWindowCheckTest, WithoutInstallationItSaysSoAndEnds) {
    QFile::remove(home.filePath("VANTO.ini"));
    LoadAndWait();
    EXPECT_EQ(boxes, QByteArrayList{"Unable to proceed.|No valid VANTO.ini detected in this "
                                    "folder.|" +
                                    QByteArray::number(vbOKOnly | vbCritical)});
    EXPECT_FALSE(QFile::exists(home.filePath("VANTO.ini")));
    EXPECT_TRUE(events.contains("end"));
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(QuickWindowCheckTest, AnInstallationWithContentIsLeftAlone) {
    home.Write("VANTO.ini", "");
    LoadAndWait();
    EXPECT_FALSE(QFile::exists(home.filePath("VANTO.ini")));
    boxes.clear();
    events.clear();
    home.Install("00.00");
    forms.KORU1.Load();
    EXPECT_EQ(boxes.size(), 1);
    EXPECT_TRUE(QFile::exists(home.filePath("VANTO.ini")));
}

TEST_F(QuickWindowCheckTest, SecondCopySaysTheFolderIsInUseAndEnds) {
    // Another KORU holds its share of the folder's instance lock.
    FolderLock other(home.path(), "instance");
    ASSERT_TRUE(other.TryLock(FolderLock::Shared));
    LoadAndWait();
    other.Unlock();
    EXPECT_EQ(boxes, QByteArrayList{"KORU|Another KORU is already working on this VANTO folder; "
                                    "close it and try again.|0"});
    EXPECT_TRUE(events.contains("end"));
    EXPECT_EQ(server.connections(), 0);
}

// With a key, the list comes first; a refused one is the window's only answer.
TEST_F(QuickWindowCheckTest, RefusedReleaseListOffersNothing) {
    const Minisign::Signed made = Minisign::SignBytes("other bytes", QStringLiteral("list"));
    if (made.publicKey.isEmpty())
        GTEST_SKIP() << "minisign is not installed";
    home.Write("files/koru/update.pub", made.publicKey);
    server.script("/files/koru/release.txt", ScriptedServer::Ok("koru-release 1\nserial 1\n"));
    server.script("/files/koru/release.txt.minisig", ScriptedServer::Ok(made.signature));
    server.script("/files/koru/vanto_ver.txt", ScriptedServer::Ok(versionFile));
    LoadAndWait();
    EXPECT_TRUE(quick().Label1.Caption().startsWith("TRANSFER FAILED: /files/koru/release.txt: "))
        << quick().Label1.Caption().toStdString();
    EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled());
    EXPECT_EQ(server.requestLines().size(), 2);
}

} // namespace
