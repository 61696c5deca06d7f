// "Help Links Update" and "All Available Updates" against a scripted server:
// the items of the saved list fetched in order, the stamp, the log, the batch
// flag, and the names and failures that must not reach the help folder's files.
#include "platform/runtime/MsgBox.h"
#include "support/CheckFixture.h"
#include "update/formats/HelpLinksList.h"

#include <QDir>
#include <QRandomGenerator>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

class HelpLinksUpdateTest : public CheckFixture {
protected:
    HelpLinksUpdateTest() {
        SharedState().serviceMode = serviceOn;
        main().SystemMessagesText1.SetText("Earlier command.\r\n");
        // What the menus look like at every change of the log's text.
        main().SystemMessagesText1.refreshView = [this] {
            if (Log() == shown)
                return; // the caret following the text
            shown = Log();
            seen.append({main().mnuUpdate.Enabled(), main().Tag});
        };
        shown = Log();
    }

    // The list as the last check saved it, with Help Links Update on offer.
    void Offer(const QByteArray& list) {
        Write("files/temp/ver.tmp", list);
        main().mnuAvailableDownload(1).SetEnabled(true);
    }
    void Serve(const QByteArray& name) {
        server.script("/files/koru/" + name + ".txt", ScriptedServer::Ok(name + " text"));
        server.script("/files/koru/" + name + ".gif", ScriptedServer::Ok(name + " picture"));
    }
    void Update() { main().mnuAvailableDownload(1).Click(); }
    void UpdateAll() {
        main().mnuDownload.Click();
        main().mnuAllAvailableUpdates.Click();
    }

    // The paths asked for, without the scheme and host.
    QList<QByteArray> Paths() const {
        QList<QByteArray> paths;
        for (const QByteArray& line : server.requestLines())
            paths.append(line.split(' ').value(1).mid(server.hostAndPort().size() + 7));
        return paths;
    }

    struct Seen {
        bool updatesEnabled;
        QByteArray tag;
        bool operator==(const Seen&) const = default;
    };
    QList<Seen> seen;
    QByteArray shown;
};

const QByteArray itemA = "Downloading a <TXT><GIF>\r\n";
const QByteArray itemB = "Downloading b <TXT><GIF>\r\n";

TEST_F(HelpLinksUpdateTest, OnlyTheStampLineFetchesNothingAndWritesTheStamp) {
    Offer("HL0008\r\n");
    Update();
    EXPECT_EQ(Log(), QByteArray("Done!\r\n"));
    EXPECT_TRUE(Paths().isEmpty());
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0008"));
    EXPECT_FALSE(HelpLinksOffered());
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, AListRemovedSinceTheCheckFailsTheUpdateWithItsReason) {
    main().mnuAvailableDownload(1).SetEnabled(true);
    Update();
    EXPECT_EQ(Log(), "HELP LINKS UPDATE FAILED: " +
                         QFile::encodeName(home.filePath("files/temp/ver.tmp")) +
                         ": File not found. Check for updates again.\r\n");
    EXPECT_FALSE(events.contains("end"));
    EXPECT_EQ(main().FailedTransfers(), 1);
    EXPECT_TRUE(HelpLinksOffered());
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, TwoItemsAreFetchedTextThenPictureWithOneLineEach) {
    Offer("HL0008\r\na\r\nb\r\n");
    Serve("a");
    Serve("b");
    Update();
    EXPECT_EQ(Log(), itemA + itemB + "Done!\r\n");
    EXPECT_EQ(Paths(), (QList<QByteArray>{"/files/koru/a.txt", "/files/koru/a.gif",
                                          "/files/koru/b.txt", "/files/koru/b.gif"}));
    EXPECT_EQ(Read("files/koru/help/a.txt"), QByteArray("a text"));
    EXPECT_EQ(Read("files/koru/help/b.gif"), QByteArray("b picture"));
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0008"));
    EXPECT_EQ(main().FailedTransfers(), 0);
    // The log was cleared first, and UPDATES stayed off until the run ended.
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(), (Seen{false, {}}));
    EXPECT_EQ(seen.last(), (Seen{false, {}}));
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, StampLineIsCutOrPaddedToSixCharacters) {
    const struct {
        QByteArray list;
        QByteArray stored;
    } cases[] = {
        {"HL000899\r\n", "HL0008"},
        {"HL8\r\n", "HL8   "},
        {"", "      "}, // an empty list is a blank stamp, not a failed read
    };
    for (const auto& c : cases) {
        Offer(c.list);
        Update();
        EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), c.stored) << c.list.constData();
    }
}

TEST_F(HelpLinksUpdateTest, InABatchTheLogIsKept) {
    Offer("HL0008\r\n");
    main().Tag = "1";
    Update();
    EXPECT_EQ(Log(), QByteArray("Earlier command.\r\nDone!\r\n"));
}

TEST_F(HelpLinksUpdateTest, ServiceSwitchedOffShowsTheServersMessage) {
    Offer("HL0008\r\na\r\n");
    SharedState().serviceMode = serviceOff;
    SharedState().responseBuffer = "Down for maintenance.";
    Update();
    EXPECT_EQ(Log(), "Down for maintenance.\r\n" + separator);
    EXPECT_TRUE(Paths().isEmpty());
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("<missing>"));
}

TEST_F(HelpLinksUpdateTest, NamesThatAreNoFileNamesAreSkipped) {
    Offer(QByteArray("HL0008\r\n../escape\r\na/b\r\nx") + '\0' + "y\r\nwin\\dir\r\na\r\n\r\n");
    Serve("a");
    Update();
    const QByteArray skipped = "\" is not a file name for the help folder.\r\n";
    EXPECT_EQ(Log(), "ITEM SKIPPED: \"..%2Fescape" + skipped + "ITEM SKIPPED: \"a%2Fb" + skipped +
                         "ITEM SKIPPED: \"x%00y" + skipped + "ITEM SKIPPED: \"win%5Cdir" + skipped +
                         itemA + "ITEM SKIPPED: \"" + skipped + "Done!\r\n");
    EXPECT_EQ(Paths(), (QList<QByteArray>{"/files/koru/a.txt", "/files/koru/a.gif"}));
    EXPECT_FALSE(QFile::exists(home.filePath("files/koru/escape.txt")));
    // Fetching again cannot make such names safe, so they do not hold the stamp back.
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0008"));
}

TEST_F(HelpLinksUpdateTest, ItemsAreSavedUnderTheirOwnBytesAndUnsavableNamesSkipped) {
    const QByteArray cafe = "caf\xC3\xA9";
    const QByteArray longest(251, 'n'); // 255 bytes with its ending
    Offer("HL0008\r\n" + cafe + "\r\n" + longest + "\r\n" + QByteArray(252, 'l') +
          "\r\ncaf\xE9\r\n");
    for (const QByteArray& name : {cafe, longest}) {
        for (const char* ending : {".txt", ".gif"})
            server.script("/files/koru/" + HelpLinksList::PathSegment(name) + ending,
                          ScriptedServer::Ok(name + ending));
    }
    Update();
    const QByteArray skipped = "\" is not a file name for the help folder.\r\n";
    EXPECT_EQ(Log(), "Downloading " + cafe + " <TXT><GIF>\r\nDownloading " + longest +
                         " <TXT><GIF>\r\nITEM SKIPPED: \"" + QByteArray(252, 'l') + skipped +
                         "ITEM SKIPPED: \"caf%E9" + skipped + "Done!\r\n");
    const QByteArray help = QFile::encodeName(home.filePath("files/koru/help/"));
    for (const QByteArray& file : {cafe + ".txt", cafe + ".gif", longest + ".gif"})
        EXPECT_EQ(::access((help + file).constData(), F_OK), 0) << file.constData();
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0008"));
}

TEST_F(HelpLinksUpdateTest, NamesArePercentEncodedInTheRequestOnly) {
    Offer("HL0008\r\nmy file%?#\r\n");
    server.script("/files/koru/my%20file%25%3F%23.txt", ScriptedServer::Ok("text"));
    server.script("/files/koru/my%20file%25%3F%23.gif", ScriptedServer::Ok("picture"));
    Update();
    EXPECT_EQ(Paths(), (QList<QByteArray>{"/files/koru/my%20file%25%3F%23.txt",
                                          "/files/koru/my%20file%25%3F%23.gif"}));
    EXPECT_EQ(Read("files/koru/help/my file%?#.txt"), QByteArray("text"));
    EXPECT_EQ(Read("files/koru/help/my file%?#.gif"), QByteArray("picture"));
}

TEST_F(HelpLinksUpdateTest, AFailedItemKeepsItsOldCopyAndTheOldStamp) {
    Write("files/koru/koru_helplinks.ver", "HL0007");
    Write("files/koru/help/a.txt", "old text");
    Write("files/koru/help/a.gif", "old picture");
    Offer("HL0008\r\na\r\nb\r\n");
    Serve("a");
    Serve("b");
    server.script("/files/koru/a.txt", {{{ScriptedServer::Response("503 Service Unavailable", "")}},
                                        ScriptedServer::Ending::StaySilent});
    server.script("/files/koru/a.gif", {{{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf"}},
                                        ScriptedServer::Ending::Close});
    Update();
    // The item's line stays whole; its failures follow it.
    EXPECT_EQ(Log(), "Downloading a <TXT><GIF>\r\n" +
                         Failed("/files/koru/a.txt", "HTTP/1.1 503 Service Unavailable") +
                         Failed("/files/koru/a.gif", "The server closed the connection early.") +
                         itemB + "NOT ALL HELP LINKS ARRIVED: the update stays on offer.\r\n");
    EXPECT_EQ(Read("files/koru/help/a.txt"), QByteArray("old text"));
    EXPECT_EQ(Read("files/koru/help/a.gif"), QByteArray("old picture"));
    EXPECT_EQ(Read("files/koru/help/b.gif"), QByteArray("b picture"));
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0007"));
    EXPECT_TRUE(HelpLinksOffered());
    EXPECT_EQ(main().FailedTransfers(), 2);
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, AStampThatCannotBeWrittenIsSaidAndKeepsTheUpdateOnOffer) {
    ASSERT_TRUE(QDir().mkpath(home.filePath("files/koru/koru_helplinks.ver")));
    Offer("HL0008\r\n");
    Update();
    EXPECT_EQ(Log(),
              "SAVE FAILED: " + QFile::encodeName(home.filePath("files/koru/koru_helplinks.ver")) +
                  ": Path/File access error.\r\n");
    EXPECT_FALSE(events.contains("end"));
    EXPECT_EQ(main().FailedTransfers(), 1);
    EXPECT_TRUE(HelpLinksOffered());
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, AllWithOnlyHelpLinksClearsTheLogOnceAndAsksNothing) {
    QByteArrayList questions;
    const MsgBoxHandler previous = SetMsgBoxHandler([&](const MsgBoxRequest& box) {
        questions.append(box.prompt);
        return vbNo;
    });
    Offer("HL0008\r\na\r\n");
    Serve("a");
    UpdateAll();
    SetMsgBoxHandler(previous);
    EXPECT_EQ(Log(), itemA + "Done!\r\n");
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(Paths(), (QList<QByteArray>{"/files/koru/a.txt", "/files/koru/a.gif"}));
    EXPECT_EQ(main().Tag, QByteArray("0"));
    // Cleared once before the batch flag is set, then every line written under it.
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.first(), (Seen{true, {}}));
    for (const Seen& s : seen.mid(1))
        EXPECT_EQ(s.tag, QByteArray("1"));
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, AllGoesOnToTheHelpLinksOnceTheVantoUpdateHasEnded) {
    Offer("HL0008\r\na\r\n");
    Serve("a");
    main().mnuAvailableDownload(0).SetEnabled(true);
    UpdateAll();
    EXPECT_TRUE(Log().endsWith(itemA + "Done!\r\n"));
    EXPECT_EQ(Read("files/koru/koru_helplinks.ver"), QByteArray("HL0008"));
    EXPECT_EQ(main().Tag, QByteArray("0"));
    EXPECT_TRUE(main().mnuUpdate.Enabled());
}

TEST_F(HelpLinksUpdateTest, AllCountsTheFailuresOfTheWholeBatch) {
    Offer("HL0008\r\na\r\n");
    UpdateAll(); // nothing scripted: both files are missing, each a failed transfer
    EXPECT_EQ(main().FailedTransfers(), 2);
    server.script("/files/koru/a.txt", {{}, ScriptedServer::Ending::Reset});
    Offer("HL0008\r\na\r\n");
    UpdateAll();
    EXPECT_GE(main().FailedTransfers(), 1);
    EXPECT_TRUE(HelpLinksOffered());
}

// A picture beyond the text limit arrives whole; a picture is missing only by
// its status, whatever its bytes say.
TEST_F(HelpLinksUpdateTest, ItemsAreSavedAsTheyArrive) {
    QByteArray picture(2 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(picture.data()), picture.size() / 4);
    const QByteArray words = "<h1>Error 404 NOT FOUND</h1>";
    const std::pair<ScriptedServer::Script, QByteArray> rows[] = {
        {ScriptedServer::Ok(picture), picture},
        {{{{ScriptedServer::Response("200 OK", words)}}}, words},
    };
    for (const auto& [answer, saved] : rows) {
        Offer("HL0008\r\na\r\n");
        Serve("a");
        server.script("/files/koru/a.gif", answer);
        Update();
        EXPECT_EQ(Log(), itemA + "Done!\r\n");
        EXPECT_TRUE(Read("files/koru/help/a.gif") == saved) << saved.left(40).constData();
    }
}

// An item that cannot be saved or is missing fails alone: the help files stay
// as they were and nothing of it is left in the help folder.
TEST_F(HelpLinksUpdateTest, ARefusedItemKeepsTheHelpFiles) {
    const QByteArray over(64 * 1024 * 1024 + 1, 'x');
    const QByteArray picture(256 * 1024, 'p');
    const QByteArray unannounced = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
    const QByteArray tooLarge = "The help-link file is larger than 64 MiB.";
    const QByteArray diskFull =
        "Cannot save " + QFile::encodeName(home.filePath("files/koru/help/a.gif")) + ": Disk full.";
    const struct {
        const char* name;
        ScriptedServer::Script answer;
        rlim_t fileLimit; // the process's file size bound while it arrives; 0: none
        QByteArray reason;
    } rows[] = {
        {"AnnouncedOver64MiB",
         {{{"HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(over.size()) +
            "\r\n\r\nx"}}},
         0,
         tooLarge},
        {"GrowsOver64MiB", {{{unannounced + over}}, ScriptedServer::Ending::Close}, 0, tooLarge},
        {"DiskFullAnnounced", ScriptedServer::Ok(picture), 64 * 1024, diskFull},
        {"DiskFullUnannounced",
         {{{unannounced + picture}}, ScriptedServer::Ending::Close},
         64 * 1024,
         diskFull},
        {"Missing", ScriptedServer::NotFound(), 0, "Update file not found on the server."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Write("files/koru/help/a.gif", "old picture");
        Offer("HL0008\r\na\r\n");
        Serve("a");
        server.script("/files/koru/a.gif", row.answer);
        // A file size bound fails writes as a full disk does.
        const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ::getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limit = previous;
        if (row.fileLimit > 0)
            limit.rlim_cur = row.fileLimit;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        Update();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousSignal);
        EXPECT_EQ(Log(), itemA + Failed("/files/koru/a.gif", row.reason) +
                             "NOT ALL HELP LINKS ARRIVED: the update stays on offer.\r\n");
        EXPECT_EQ(Read("files/koru/help/a.txt"), QByteArray("a text"));
        EXPECT_EQ(Read("files/koru/help/a.gif"), QByteArray("old picture"));
        EXPECT_EQ(QDir(home.filePath("files/koru/help")).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{QStringLiteral("a.gif"), QStringLiteral("a.txt")}));
    }
}

TEST(HelpLinksListTest, FileNamesAndPathSegments) {
    const struct {
        QByteArray name;
        bool fileName;
        QByteArray segment;
    } cases[] = {
        {"manual", true, "manual"},
        {"a.b-c_d~e", true, "a.b-c_d~e"},
        {"a b", true, "a%20b"},
        {"100%", true, "100%25"},
        {"what?#", true, "what%3F%23"},
        {"a..b", true, "a..b"},
        {"..", true, ".."},
        {"", false, ""},
        {"tab\there", false, "tab%09here"},
        {"caf\xE9", true, "caf%E9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HelpLinksList::IsFileName(c.name), c.fileName) << c.name.constData();
        EXPECT_EQ(HelpLinksList::PathSegment(c.name), c.segment) << c.name.constData();
    }
}

TEST(HelpLinksListTest, NamesFitTheFolderOnlyWithinTheFileSystemsLimits) {
    const QString deep = QStringLiteral("/h") + QString(4000, u'd'); // 4002 bytes
    const struct {
        QString folder;
        QByteArray name;
        bool fits;
    } cases[] = {
        {QStringLiteral("/h"), QByteArray(251, 'n'), true},
        {QStringLiteral("/h"), QByteArray(252, 'n'), false},
        {QStringLiteral("/h"), "caf\xC3\xA9", true},
        {QStringLiteral("/h"), "caf\xE9", false}, // no file name of ours has these bytes
        {QStringLiteral("/h"), "a/b", false},
        {deep, QByteArray(88, 'p'), true}, // 4095 bytes with "/" and ".txt"
        {deep, QByteArray(89, 'p'), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HelpLinksList::FitsFolder(c.folder, c.name), c.fits) << c.name.constData();
}

} // namespace
