// The quick update window's download: the button asks for the file, the
// label follows the download and says where the archive went; a failed
// download says why and offers the button again.
#include "BrokenAnswers.h"
#include "InstallableList.h"
#include "platform/runtime/Events.h"
#include "support/DialogAnswers.h"
#include "support/FormsFixture.h"
#include "support/Minisign.h"
#include "support/ScriptedServer.h"

#include <QDeadlineTimer>
#include <QFile>

namespace {

const QByteArray versionFile = "VER = 02.14\r\nRelease notes.";
const QByteArray downloading = "Downloading VANTO version 2.14\r\n";

class QuickWindowDownloadTest : public FormsFixture {
protected:
    QuickWindowDownloadTest() {
        qputenv("KORU_SERVER", server.hostAndPort());
        server.script("/files/koru/vanto_ver.txt", ScriptedServer::Ok(versionFile));
        server.script("/files/vanto.zip", {{{ZipResponse(archive)}}});
        quick().Timer2.SetInterval(stallTickMs);
    }
    ~QuickWindowDownloadTest() override { qunsetenv("KORU_SERVER"); }

    QuickForm& quick() { return forms.KORU1; }

    // Runs events until the label passes `until` or five seconds have passed.
    void WaitForLabel(const std::function<bool(const QByteArray&)>& until) {
        const QDeadlineTimer deadline(5000);
        WaitUntil([&] { return until(quick().Label1.Caption()) || deadline.hasExpired(); });
    }
    void LoadWithOffer() {
        quick().Load();
        WaitForLabel([](const QByteArray& label) { return !label.isEmpty(); });
        ASSERT_TRUE(quick().DownloadUpdateCommand1.Enabled());
    }
    void Download(const char* name) {
        answers.file = name[0] == '\0' ? QString() : home.filePath(name);
        ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
        WaitForLabel([](const QByteArray& label) {
            return label.contains("Done!") || label.startsWith("TRANSFER FAILED");
        });
    }

    // Ten stalled ticks end a silent transfer; short ticks keep the tests quick.
    static constexpr int stallTickMs = 50;
    ScriptedServer server;
    DialogAnswers answers;
    const QByteArray archive = ArchiveBytes();
};

TEST_F(QuickWindowDownloadTest, SavesTheArchiveAndSaysWhere) {
    LoadWithOffer();
    answers.file = home.filePath("update");
    ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
    EXPECT_EQ(quick().Label1.Caption(), downloading + "Please wait for confirmation...");
    EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled());
    EXPECT_TRUE(quick().DownloadUpdateCommand1.Caption().isEmpty());
    WaitForLabel([](const QByteArray& label) { return label.contains("Done!"); });

    const QString saved = home.filePath("update.zip");
    EXPECT_EQ(quick().Label1.Caption(),
              downloading + "Done!\r\n\r\nFile saved to:\r\n" + QFile::encodeName(saved));
    EXPECT_EQ(home.Read("update.zip"), archive);
    EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled());
    EXPECT_EQ(server.requestLines().last(),
              "GET http://" + server.hostAndPort() + "/files/vanto.zip HTTP/1.1");
}

// An archive the held list marks installable turns the button into "Install
// Update!", and one click installs it.
TEST_F(QuickWindowDownloadTest, InstallableArchiveIsInstalledByTheButton) {
    const QByteArray sample = SampleArchive();
    server.script("/files/vanto.zip", {{{ZipResponse(sample)}}});
    LoadWithOffer();
    SharedState().releaseList = InstallableList(sample);
    Download("update");
    ASSERT_EQ(quick().DownloadUpdateCommand1.Caption(), "Install Update!");
    ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
    EXPECT_EQ(quick().Label1.Caption(), "VANTO 02.14 installed.");
    EXPECT_FALSE(quick().DownloadUpdateCommand1.Enabled());
}

TEST_F(QuickWindowDownloadTest, UnwritableFolderIsASaveFailure) {
    LoadWithOffer();
    answers.file = home.filePath("missing/update.zip");
    ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
    EXPECT_EQ(quick().Label1.Caption(),
              "SAVE FAILED: " + QFile::encodeName(answers.file) + ": Path not found.");
    EXPECT_TRUE(quick().DownloadUpdateCommand1.Enabled());
}

TEST_F(QuickWindowDownloadTest, InterruptedDownloadResumes) {
    const QByteArray etag = "ETag: \"v1\"\r\n";
    server.scripts("/files/vanto.zip",
                   {{{{CutZipResponse(archive, 300, etag)}}, ScriptedServer::Ending::Close},
                    {{{PartialZipResponse(archive, 300, etag)}}}});
    LoadWithOffer();
    Download("update.zip");
    ASSERT_TRUE(quick().Label1.Caption().startsWith("TRANSFER FAILED"));
    Download("update.zip");
    EXPECT_EQ(quick().Label1.Caption(),
              downloading + "Resuming at 300 bytes.\r\nDone!\r\n\r\nFile saved to:\r\n" +
                  QFile::encodeName(home.filePath("update.zip")));
    EXPECT_EQ(home.Read("update.zip"), archive);
    EXPECT_TRUE(server.requests().last().contains("Range: bytes=300-\r\nIf-Range: \"v1\"\r\n"));
}

TEST_F(QuickWindowDownloadTest, SignatureIsCheckedBeforeTheSave) {
    if (!Minisign::Installed())
        GTEST_SKIP() << "minisign is not installed (scripts/install-deps installs it)";
    const Minisign::Signed made = Minisign::SignBytes(archive, QStringLiteral("VANTO 2.14"));
    home.Write("files/koru/update.pub", made.publicKey);
    QByteArray tampered = archive;
    tampered[0] = 'X';
    server.scripts("/files/vanto.zip", {{{{ZipResponse(tampered)}}}, {{{ZipResponse(archive)}}}});
    server.script("/files/vanto.zip.minisig", ScriptedServer::Ok(made.signature));
    LoadWithOffer();
    Download("update.zip");
    EXPECT_EQ(quick().Label1.Caption(),
              QByteArray("TRANSFER FAILED: The archive's signature does not match it."));
    EXPECT_EQ(home.Read("update.zip"), QByteArray("<missing>"));
    Download("update.zip");
    EXPECT_TRUE(quick().Label1.Caption().contains("Done!"));
    EXPECT_EQ(home.Read("update.zip"), archive);
}

TEST_F(QuickWindowDownloadTest, ExistingFileAndNoFetchesNothing) {
    LoadWithOffer();
    home.Write("keep.zip", "old archive");
    answers.file = home.filePath("keep.zip");
    ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
    EXPECT_EQ(answers.boxes, QByteArrayList{overwriteQuestion});
    EXPECT_EQ(home.Read("keep.zip"), QByteArray("old archive"));
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(quick().Label1.Caption(), versionFile);
    EXPECT_TRUE(quick().DownloadUpdateCommand1.Enabled());
}

TEST_F(QuickWindowDownloadTest, CancelledDialogFetchesNothing) {
    LoadWithOffer();
    ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
    EXPECT_EQ(server.connections(), 1);
    EXPECT_EQ(quick().Label1.Caption(), versionFile);
}

class BrokenQuickArchiveTest : public QuickWindowDownloadTest,
                               public ::testing::WithParamInterface<BrokenAnswer> {};

TEST_P(BrokenQuickArchiveTest, SaysWhyAndOffersTheButtonAgain) {
    const QByteArray label = QByteArray("TRANSFER FAILED: ") + GetParam().quick;
    server.script("/files/vanto.zip", GetParam().answer(ZipResponse(archive)));
    LoadWithOffer();
    home.Write("old.zip", "old archive");
    answers.answer = vbYes;
    Download("old.zip");
    EXPECT_EQ(quick().Label1.Caption(), label);
    EXPECT_EQ(home.Read("old.zip"), QByteArray("old archive"));
    EXPECT_TRUE(quick().DownloadUpdateCommand1.Enabled());
    EXPECT_EQ(quick().DownloadUpdateCommand1.Caption(), QByteArray("Download Update!"));

    // Trying again with a new file: it is gone again after the failure.
    Download("new.zip");
    EXPECT_EQ(quick().Label1.Caption(), label);
    EXPECT_FALSE(QFile::exists(home.filePath("new.zip")));
}

INSTANTIATE_TEST_SUITE_P(Answers, BrokenQuickArchiveTest,
                         ::testing::ValuesIn(brokenAnswers::For(&BrokenAnswer::quick)),
                         brokenAnswers::Name);

TEST_F(QuickWindowDownloadTest, ClosingTheWindowDropsTheEmptyFile) {
    server.script("/files/vanto.zip", {{}, ScriptedServer::Ending::StaySilent});
    LoadWithOffer();
    answers.file = home.filePath("new.zip");
    ASSERT_TRUE(quick().DownloadUpdateCommand1.Click());
    EXPECT_TRUE(QFile::exists(home.filePath("new.zip")));
    quick().Unload();
    EXPECT_FALSE(QFile::exists(home.filePath("new.zip")));
}

} // namespace
