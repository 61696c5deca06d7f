// "VANTO Update" in the main window: choosing the file, the log of a
// download, and downloads that fail without touching the user's file.
#include "BrokenAnswers.h"
#include "support/CheckFixture.h"
#include "support/DialogAnswers.h"
#include "update/files/ArchiveDownload.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray downloading = "Downloading VANTO version 2.14\r\n";

class VantoDownloadTest : public CheckFixture {
protected:
    VantoDownloadTest() {
        // As a check that found 02.14 leaves things.
        SharedState().serviceMode = serviceOn;
        SharedState().remoteVersion = 2.14f;
        main().mnuAvailableDownload(0).SetEnabled(true);
        server.script("/files/vanto.zip", {{{ZipResponse(archive)}}});
    }

    // Chooses `name` (in the VANTO folder) in the save dialog.
    void Download(const char* name) {
        answers.file = name[0] == '\0' ? QString() : home.filePath(name);
        main().mnuAvailableDownload(0).Click();
    }
    bool UpdatesEnabled() { return main().mnuUpdate.Enabled(); }

    const QByteArray archive = ArchiveBytes();
    DialogAnswers answers;
};

TEST_F(VantoDownloadTest, SavesTheArchiveAndSaysDone) {
    main().SystemMessagesText1.SetText("earlier\r\n");
    Download("update.zip");
    EXPECT_EQ(Log(), downloading + "Done!\r\n" + separator);
    EXPECT_EQ(Read("update.zip"), archive);
    EXPECT_FALSE(VantoOffered());
    EXPECT_TRUE(UpdatesEnabled());
    EXPECT_TRUE(answers.boxes.isEmpty());
    ASSERT_EQ(answers.dialogs.size(), 1);
    const FileDialogRequest& dialog = answers.dialogs[0];
    EXPECT_TRUE(dialog.save);
    EXPECT_EQ(dialog.initialDir, home.path());
    EXPECT_TRUE(dialog.initialName.isEmpty());
    ASSERT_EQ(dialog.filters.size(), 1);
    EXPECT_EQ(dialog.filters[0].description + "|" + dialog.filters[0].patterns,
              QByteArray("ZIP|*.zip"));
    EXPECT_EQ(server.requestLines(), QList<QByteArray>{"GET http://" + server.hostAndPort() +
                                                       "/files/vanto.zip HTTP/1.1"});
}

struct NameCase {
    const char* typed;
    const char* saved;
};

class SaveNameTest : public VantoDownloadTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(SaveNameTest, EndsInZipOnce) {
    Download(GetParam().typed);
    EXPECT_EQ(Read(GetParam().saved), archive);
    if (QByteArray(GetParam().typed) != GetParam().saved) {
        EXPECT_FALSE(QFile::exists(home.filePath(GetParam().typed)));
    }
}

INSTANTIATE_TEST_SUITE_P(Names, SaveNameTest,
                         ::testing::Values(NameCase{"update", "update.zip"},
                                           NameCase{"UPDATE.ZIP", "UPDATE.ZIP"},
                                           NameCase{"update.Zip", "update.Zip"},
                                           NameCase{"update.zip.old", "update.zip.old.zip"}));

TEST_F(VantoDownloadTest, ExistingFileAndNoLeavesItAlone) {
    Write("keep.zip", "old archive");
    Download("keep"); // the question is about the name with its ending
    EXPECT_EQ(answers.boxes, QByteArrayList{overwriteQuestion});
    EXPECT_EQ(Read("keep.zip"), QByteArray("old archive"));
    EXPECT_EQ(server.connections(), 0);
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_TRUE(VantoOffered());
    EXPECT_TRUE(UpdatesEnabled());
}

TEST_F(VantoDownloadTest, ExistingFileAndYesIsOverwritten) {
    Write("keep.zip", QByteArray(5000, 'o'));
    answers.answer = vbYes;
    Download("keep.zip");
    EXPECT_EQ(answers.boxes, QByteArrayList{overwriteQuestion});
    EXPECT_EQ(Read("keep.zip"), archive);
}

TEST_F(VantoDownloadTest, ExistingEmptyFileIsOverwrittenWithoutAQuestion) {
    Write("empty.zip", "");
    Download("empty.zip");
    EXPECT_TRUE(answers.boxes.isEmpty());
    EXPECT_EQ(Read("empty.zip"), archive);
}

TEST_F(VantoDownloadTest, ALinkThatPointsNowhereIsReplacedItself) {
    ASSERT_TRUE(QFile::link(home.filePath("nowhere.zip"), home.filePath("link.zip")));
    Download("link.zip");
    EXPECT_FALSE(QFileInfo(home.filePath("link.zip")).isSymLink());
    EXPECT_EQ(Read("link.zip"), archive);
    EXPECT_FALSE(QFileInfo::exists(home.filePath("nowhere.zip")));
}

TEST_F(VantoDownloadTest, CancelledDialogDoesNothing) {
    main().SystemMessagesText1.SetText("earlier\r\n");
    Download("");
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(server.connections(), 0);
    EXPECT_TRUE(VantoOffered());
}

TEST_F(VantoDownloadTest, BatchKeepsTheLog) {
    main().Tag = "1";
    main().SystemMessagesText1.SetText("earlier\r\n");
    Download("update.zip");
    EXPECT_EQ(Log(), "earlier\r\n" + downloading + "Done!\r\n" + separator);
}

TEST_F(VantoDownloadTest, NonNumericTagIsNoBatch) {
    main().Tag = "one";
    main().SystemMessagesText1.SetText("earlier\r\n");
    Download("update.zip");
    EXPECT_EQ(Log(), downloading + "Done!\r\n" + separator);
}

TEST_F(VantoDownloadTest, ServiceOffShowsTheServersMessageOnly) {
    SharedState().serviceMode = serviceOff;
    SharedState().responseBuffer = " Resting.";
    Download("update.zip");
    EXPECT_EQ(Log(), " Resting.\r\n" + separator);
    EXPECT_TRUE(answers.dialogs.isEmpty());
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(VantoDownloadTest, AnyIndexButOneIsTheVantoUpdate) {
    answers.file = home.filePath("other.zip");
    main().mnuAvailableDownload_Click(7);
    EXPECT_EQ(Read("other.zip"), archive);
}

TEST_F(VantoDownloadTest, ProgressShowsTheBytesReceivedSoFar) {
    const QByteArray response = ZipResponse(archive);
    server.script("/files/vanto.zip", {{{response.left(100)},
                                        {response.mid(100, 300), 3 * stallTickMs},
                                        {response.mid(400), 3 * stallTickMs}}});
    QByteArrayList progress;
    main().SystemMessagesText1.refreshView = [&] {
        if (Log().contains("Bytes received: "))
            progress.append(Log());
    };
    Download("update.zip");
    ASSERT_FALSE(progress.isEmpty());
    for (const QByteArray& log : progress) {
        EXPECT_TRUE(log == downloading + "Bytes received: 0000000" ||
                    log == downloading + "Bytes received: 0000100" ||
                    log == downloading + "Bytes received: 0000400")
            << log.constData();
    }
    EXPECT_EQ(Log(), downloading + "Done!\r\n" + separator);
}

TEST_F(VantoDownloadTest, ADescriptionShownMeanwhileKeepsItsTextWhole) {
    const QByteArray response = ZipResponse(archive);
    const qsizetype firstBytes = response.indexOf("\r\n\r\n") + 14;
    server.script("/files/vanto.zip",
                  {{{response.left(firstBytes)}, {response.mid(firstBytes), 4 * stallTickMs}}});
    main().onArchiveProgress = [this](std::int64_t received, std::int64_t, bool done) {
        if (received > 0 && !done && !Log().contains("plugin"))
            main().mnuVANTOplugins.Click();
    };
    Download("update.zip");
    EXPECT_TRUE(Log().startsWith("VANTO has a unique plugin format")) << Log().constData();
    EXPECT_TRUE(Log().endsWith("THIS FEATURE IS NOT YET AVAILABLE.\r\n" + separator + "Done!\r\n" +
                               separator))
        << Log().constData();
    EXPECT_EQ(Read("update.zip"), archive);
}

// Only the status says the archive is missing, whatever its declared type.
TEST_F(VantoDownloadTest, ArchiveThatMentions404IsSavedAsItIs) {
    const QByteArray text = "readme: 404 Not Found is what a missing page says";
    const QByteArray octets = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                              "Content-Length: " +
                              QByteArray::number(text.size()) + "\r\n\r\n" + text;
    for (const QByteArray& answer : {ZipResponse(text), octets}) {
        server.script("/files/vanto.zip", {{{answer}}});
        Download("update.zip");
        EXPECT_EQ(Read("update.zip"), text) << answer.left(60).constData();
        EXPECT_FALSE(Log().contains("not found")) << Log().constData();
    }
}

TEST_F(VantoDownloadTest, UnwritableFolderIsASaveFailure) {
    Download("missing/update.zip");
    EXPECT_EQ(Log(), "SAVE FAILED: " + QFile::encodeName(home.filePath("missing/update.zip")) +
                         ": Path not found.\r\n" + separator);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(main().FailedTransfers(), 1);
}

TEST_F(VantoDownloadTest, PathsBeyondTheDialogsDefaultBufferAreSavedUpToTheSystemsLimit) {
    const QByteArray beyond = (QByteArray(200, 'x') + '/').repeated(21) + 'u';
    Download(beyond.constData());
    EXPECT_EQ(Log(), "SAVE FAILED: " + QFile::encodeName(home.filePath(beyond.constData())) +
                         ".zip: Bad file name: the path is longer "
                         "than the system's limit of 4095 bytes.\r\n" +
                         separator);

    const QByteArray deep = QByteArray(200, 'd') + '/' + QByteArray(200, 'e') + '/';
    ASSERT_TRUE(QDir().mkpath(home.filePath(deep.constData())));
    Download((deep + QByteArray(100, 'u')).constData());
    EXPECT_EQ(Read((deep + QByteArray(100, 'u') + ".zip").constData()), archive);
}

class BrokenArchiveTest : public VantoDownloadTest,
                          public ::testing::WithParamInterface<BrokenAnswer> {
protected:
    void Serve() { server.script("/files/vanto.zip", GetParam().answer(ZipResponse(archive))); }
    // The progress line goes as it does after "Done!"; the failure takes its place.
    void ExpectFailedLog() {
        EXPECT_EQ(Log(), downloading + Failed(archivePath, GetParam().download) + separator);
        EXPECT_TRUE(VantoOffered());
        EXPECT_TRUE(UpdatesEnabled());
    }
};

TEST_P(BrokenArchiveTest, NewFileIsRemoved) {
    Serve();
    Download("new.zip");
    ExpectFailedLog();
    EXPECT_FALSE(QFile::exists(home.filePath("new.zip")));
    EXPECT_EQ(main().FailedTransfers(), 1);
}

TEST_P(BrokenArchiveTest, ExistingFileKeepsItsContents) {
    Serve();
    Write("old.zip", "old archive");
    answers.answer = vbYes;
    Download("old.zip");
    ExpectFailedLog();
    EXPECT_EQ(Read("old.zip"), QByteArray("old archive"));
}

INSTANTIATE_TEST_SUITE_P(Answers, BrokenArchiveTest,
                         ::testing::ValuesIn(brokenAnswers::For(&BrokenAnswer::download)),
                         brokenAnswers::Name);

TEST_F(VantoDownloadTest, RefusedConnectionFailsAtOnce) {
    SharedState().serverHost = TestVantoHome::ClosedServer();
    Download("new.zip");
    EXPECT_EQ(Log(), downloading + Failed(archivePath, "Connection refused.") + separator);
    EXPECT_FALSE(QFile::exists(home.filePath("new.zip")));
}

struct VersionCase {
    float version;
    const char* text;
};

TEST(VersionTextTest, ShortestDecimalForm) {
    for (const VersionCase& c : {VersionCase{2.14f, "2.14"}, VersionCase{2.2f, "2.2"},
                                 VersionCase{10.0f, "10"}, VersionCase{0.05f, "0.05"}})
        EXPECT_EQ(ArchiveDownload::VersionText(c.version), QByteArray(c.text));
}

} // namespace
