// The signed release list against an attacker on the path: a sample tree
// published with koru-publish and keys made by the real minisign, served by
// the sample server (or nginx) on loopback, checked by koru-cli as a user
// runs it with a state folder of its own. Each row is one threat: the check fails (exit 2)
// with the line naming it, and nothing of VANTO's folder changes.
#include "BuildConfig.h"
#include "server/SampleServer.h"
#include "support/CopyTree.h"
#include "support/DeltaFiles.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"
#include "support/TestZip.h"
#include "update/install/RunningVanto.h"
#include "update/install/VantoStart.h"
#include "update/trust/ReleaseList.h"
#include "update/trust/SignedReleaseFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>
#include <functional>
#include <sys/stat.h>

namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
};

class ReleaseAttack : public SignedReleaseFixture {
protected:
    void SetUpWithKeys() override {
        CopySampleTree();
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/vanto"), Home());
        WriteFile(Home() + QStringLiteral("/files/koru/update.pub"), PublicKeys({"k0"}));
        server = std::make_unique<SampleServer>(Tree(), 0);
        server->Start();
    }

public:
    // What the rows' attackers do with the tree.
    using SignedReleaseFixture::PublicKeys;
    using SignedReleaseFixture::Served;
    using SignedReleaseFixture::Sign;
    using SignedReleaseFixture::work;
    QString Home() const { return work.filePath(QStringLiteral("vanto")); }

    // koru-publish on the tree, signed by the named key.
    void Publish(const char* signer) {
        Tool({Tree(), QStringLiteral("--key"), KeyFile(signer, ".key")});
    }
    // The key chain's next link, from one key to the next.
    void Rotate(const char* from, const char* to) {
        Tool({QStringLiteral("rotate"), Tree(), QStringLiteral("--key"), KeyFile(from, ".key"),
              QStringLiteral("--new"), KeyFile(to, ".pub")});
    }
    static void Tool(const QStringList& arguments) {
        const Published run = RunPublish(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
    }

    // koru-cli against the server, waited for in the event loop the server runs in.
    CliRun Cli(QStringList commands, const QStringList& before = {}) {
        QProcess cli;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KORU_HOME"), Home());
        environment.insert(QStringLiteral("KORU_SERVER"),
                           nginx ? QString::fromLatin1(nginx->hostAndPort())
                                 : QStringLiteral("127.0.0.1:%1").arg(server->Port()));
        environment.insert(QStringLiteral("XDG_STATE_HOME"),
                           work.filePath(QStringLiteral("state")));
        cli.setProcessEnvironment(environment);
        QEventLoop loop;
        QObject::connect(&cli, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        if (before.isEmpty()) {
            cli.start(QStringLiteral(KORU_CLI), commands);
        } else {
            // faketime's library comes before the sanitizer's runtime.
            environment.insert(QStringLiteral("ASAN_OPTIONS"),
                               environment.value(QStringLiteral("ASAN_OPTIONS")) +
                                   QStringLiteral(":verify_asan_link_order=0"));
            cli.setProcessEnvironment(environment);
            commands.prepend(QStringLiteral(KORU_CLI));
            cli.start(before.first(), before.mid(1) + commands);
        }
        loop.exec();
        EXPECT_EQ(cli.state(), QProcess::NotRunning);
        return {cli.exitCode(), cli.readAllStandardOutput()};
    }

    // Every file of VANTO's folder but the check's own scratch files.
    QMap<QString, QByteArray> UserFiles() const {
        QMap<QString, QByteArray> files;
        QDirIterator it(Home(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.contains(QStringLiteral("/files/temp/")))
                files.insert(path, ReadFile(path));
        }
        return files;
    }

    std::unique_ptr<SampleServer> server;
    std::unique_ptr<NginxServer> nginx; // serves the tree instead when set
};

using Attack = std::function<void(ReleaseAttack&)>;

struct Threat {
    const char* name;
    // What the attacker does after the publisher's first good check.
    Attack attack;
    // The failure line: the file under files/, and its reason's first words.
    const char* file;
    const char* reason;
};

void Append(const QString& path, const QByteArray& bytes) {
    WriteFile(path, ReadFile(path) + bytes);
}
Attack Appending(const char* file, const char* bytes) {
    return [=](ReleaseAttack& on) { Append(on.Served(file), bytes); };
}
Attack Removing(std::initializer_list<const char*> files) {
    const QList<const char*> gone(files);
    return [=](ReleaseAttack& on) {
        for (const char* file : gone)
            QFile::remove(on.Served(file));
    };
}

// The served list edited, then signed by `signer` for its new serial and epoch.
Attack Resigned(const char* signer,
                std::initializer_list<std::pair<const char*, const char*>> edits) {
    const QList<std::pair<const char*, const char*>> changes(edits);
    return [=](ReleaseAttack& on) {
        QByteArray list = ReadFile(on.Served("koru/release.txt"));
        for (const auto& [from, to] : changes)
            list.replace(from, to);
        WriteFile(on.Served("koru/release.txt"), list);
        WriteFile(on.Served("koru/release.txt.minisig"),
                  on.Sign(list, signer, ReleaseList::Parse(list).SignedComment()));
    };
}

class ReleaseAttackTest : public ReleaseAttack, public ::testing::WithParamInterface<Threat> {};

TEST_P(ReleaseAttackTest, FailsTheCheckAndSavesNothing) {
    Publish("k0");
    const CliRun first = Cli({QStringLiteral("check")});
    ASSERT_EQ(first.exitCode, 0) << first.out.toStdString();
    ASSERT_TRUE(first.out.contains("Release list verified: serial 1, valid until "));
    GetParam().attack(*this);
    const QMap<QString, QByteArray> before = UserFiles();
    const QString target = work.filePath(QStringLiteral("saved.zip"));
    const CliRun attacked = Cli(
        {QStringLiteral("check"), QStringLiteral("vanto-update"), target},
        QString::fromLatin1(GetParam().name) == u"Expired"
            ? QStringList{QStringLiteral("faketime"), QStringLiteral("-f"), QStringLiteral("+40d")}
            : QStringList{});
    EXPECT_EQ(attacked.exitCode, 2) << attacked.out.toStdString();
    EXPECT_TRUE(attacked.out.contains(QByteArray("\r\nTRANSFER FAILED: /files/") + GetParam().file +
                                      ": " + GetParam().reason))
        << attacked.out.toStdString();
    EXPECT_EQ(UserFiles(), before);
    EXPECT_FALSE(QFile::exists(target));
}

INSTANTIATE_TEST_SUITE_P(
    Threats, ReleaseAttackTest,
    ::testing::Values(
        Threat{"TamperedList", Appending("koru/release.txt", "# more\n"), "koru/release.txt",
               "The release list's signature does not match it."},
        Threat{"UnsignedList", Removing({"koru/release.txt.minisig"}), "koru/release.txt",
               "The release list has no signature on the server."},
        Threat{"OtherKey", [](ReleaseAttack& on) { on.Publish("other"); }, "koru/release.txt",
               "The release list is signed by a key KORU does not trust"},
        Threat{"HashMismatch",
               [](ReleaseAttack& on) {
                   QByteArray news = ReadFile(on.Served("koru/otherinfo.txt"));
                   news[0] = news[0] == 'X' ? 'Y' : 'X';
                   WriteFile(on.Served("koru/otherinfo.txt"), news);
               },
               "koru/otherinfo.txt", "The file's BLAKE2b-256 hash differs"},
        Threat{"LongerThanListed", Appending("koru/vanto_ver.txt", "VER = 99.99"),
               "koru/vanto_ver.txt", "The file is longer than the"},
        Threat{"ListedFileWithdrawn", Removing({"koru/otherinfo.txt"}), "koru/otherinfo.txt",
               "Update file not found on the server."},
        // The check ends at the switch: its separator follows at once.
        Threat{
            "WithheldSwitch",
            [](ReleaseAttack& on) {
                WriteFile(on.Served("koru/killswitch.txt"), "All services running.");
                on.Publish("k0");
                QFile::remove(on.Served("koru/killswitch.txt"));
            },
            "koru/killswitch.txt",
            "Update file not found on the server.\r\n--------------------------------------\r\n"},
        Threat{"NotListed",
               [](ReleaseAttack& on) {
                   const QByteArray news = ReadFile(on.Served("koru/otherinfo.txt"));
                   QFile::remove(on.Served("koru/otherinfo.txt"));
                   on.Publish("k0");
                   WriteFile(on.Served("koru/otherinfo.txt"), news);
               },
               "koru/otherinfo.txt", "The release list does not name this file."},
        Threat{"ReplayedOlderList",
               [](ReleaseAttack& on) {
                   const QByteArray list = ReadFile(on.Served("koru/release.txt"));
                   const QByteArray signature = ReadFile(on.Served("koru/release.txt.minisig"));
                   on.Publish("k0");
                   ASSERT_EQ(on.Cli({QStringLiteral("check")}).exitCode, 0);
                   WriteFile(on.Served("koru/release.txt"), list);
                   WriteFile(on.Served("koru/release.txt.minisig"), signature);
               },
               "koru/release.txt",
               "The server's release list is older than one KORU has already seen (serial 1, "
               "seen 2)."},
        Threat{"Expired", [](ReleaseAttack&) {}, "koru/release.txt",
               "The server's release list expired on "},
        Threat{"StrippedList", Removing({"koru/release.txt", "koru/release.txt.minisig"}),
               "koru/release.txt", "The server has no release list, though KORU has accepted one"},
        Threat{"OldArchiveAsNew",
               [](ReleaseAttack& on) {
                   const QByteArray old = ReadFile(on.Served("vanto.zip"));
                   const QByteArray signature = ReadFile(on.Served("vanto.zip.minisig"));
                   Append(on.Served("vanto.zip"), "a newer archive");
                   on.Publish("k0");
                   WriteFile(on.Served("vanto.zip"), old);
                   WriteFile(on.Served("vanto.zip.minisig"), signature);
               },
               "vanto.zip", "The file has "},
        Threat{"BadLink",
               [](ReleaseAttack& on) {
                   on.Rotate("k0", "k1");
                   on.Publish("k1");
                   Append(on.Served("koru/keys/1.txt"), on.PublicKeys({"other"}));
               },
               "koru/release.txt", "The key chain link /files/koru/keys/1.txt"},
        Threat{"RevokedKey",
               [](ReleaseAttack& on) {
                   on.Rotate("k0", "k1");
                   on.Publish("k1");
                   ASSERT_EQ(on.Cli({QStringLiteral("check")}).exitCode, 0);
                   // The retired key, in the wrong hands, signs a newer list for epoch 1.
                   QByteArray list = ReadFile(on.Served("koru/release.txt"));
                   list.replace("serial 2", "serial 9");
                   WriteFile(on.Served("koru/release.txt"), list);
                   WriteFile(on.Served("koru/release.txt.minisig"),
                             on.Sign(list, "k0", "koru-release serial 9 epoch 1"));
               },
               "koru/release.txt", "The release list is signed by a key KORU does not trust"},
        Threat{"ListDisagreesWithVersionFile",
               Resigned("k0", {{"serial 1", "serial 2"}, {"vanto 02.14", "vanto 09.99"}}),
               "koru/vanto_ver.txt",
               "The release list offers VANTO \"09.99\", but the version file offers \"02.14\"."},
        Threat{"FarEpoch", Resigned("other", {{"serial 1", "serial 9"}, {"epoch 0", "epoch 64"}}),
               "koru/release.txt",
               "The key chain link /files/koru/keys/1.txt is missing, so key epoch 1 cannot be "
               "reached and the release list's signature cannot be checked against any key KORU "
               "trusts."}),
    [](const ::testing::TestParamInfo<Threat>& threat) { return std::string(threat.param.name); });

// A listed delta: the new archive served with the control file made for
// `controlOf` ("new.zip" or "old.zip"), the old archive saved as the seed.
struct ListedDelta {
    QString target;
    QByteArray fresh;
};

ListedDelta PublishListedDelta(ReleaseAttack& on, const char* controlOf) {
    const QString made = on.work.filePath(QStringLiteral("made"));
    const QString control = QString::fromLatin1(controlOf);
    EXPECT_TRUE(QDir().mkpath(made));
    EXPECT_TRUE(DeltaFiles::MakeArchives(made, 2 * 1024 * 1024));
    EXPECT_TRUE(DeltaFiles::MakeControl(made, control));
    const ListedDelta delta{on.work.filePath(QStringLiteral("saved.zip")),
                            ReadFile(made + QStringLiteral("/new.zip"))};
    WriteFile(on.Served("vanto.zip"), delta.fresh);
    WriteFile(on.Served("vanto.zip.zsync"),
              ReadFile(made + QStringLiteral("/") + control + QStringLiteral(".zsync")));
    on.Publish("k0");
    WriteFile(delta.target, ReadFile(made + QStringLiteral("/old.zip")));
    return delta;
}

// A delta under a release list: the control file is a listed file, the
// range answers are not the archive, and the assembled archive is judged
// as a whole one would be.
TEST_F(ReleaseAttack, TakesADeltaTheListVouchesFor) {
    const ListedDelta delta = PublishListedDelta(*this, "new.zip");
    const CliRun run = Cli({QStringLiteral("--yes"), QStringLiteral("check"),
                            QStringLiteral("vanto-update"), delta.target});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Reusing ")) << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("Delta update failed")) << run.out.toStdString();
    EXPECT_EQ(ReadFile(delta.target), delta.fresh);
}

// Under a list, a listed control file of another archive is given up before
// anything is scanned or reserved: its Length is not the listed one.
TEST_F(ReleaseAttack, GivesUpAListedControlFileOfAnotherLength) {
    const ListedDelta delta = PublishListedDelta(*this, "old.zip");
    ASSERT_NE(delta.fresh.size(), ReadFile(delta.target).size());
    const CliRun run = Cli({QStringLiteral("--yes"), QStringLiteral("check"),
                            QStringLiteral("vanto-update"), delta.target});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Delta update failed (the server's control file does not "
                                 "describe its archive); downloading the whole archive."))
        << run.out.toStdString();
    EXPECT_FALSE(run.out.contains("Reusing ")) << run.out.toStdString();
    EXPECT_EQ(ReadFile(delta.target), delta.fresh);
}

// Help links named with a blank and a percent sign go percent-encoded on
// the wire and are found in the list by the names the tree holds.
TEST_F(ReleaseAttack, FetchesListedHelpLinksWhoseNamesAreEncodedOnTheWire) {
    if (NginxServer::Program().isEmpty())
        GTEST_SKIP() << "nginx is not installed (scripts/install-deps installs them)";
    Append(Served("koru/koru_helplinks.txt"), "\r\ntwo words\r\n100%");
    for (const char* file :
         {"koru/two words.txt", "koru/two words.gif", "koru/100%.txt", "koru/100%.gif"})
        WriteFile(Served(file), QByteArray("help: ") + file);
    Publish("k0");
    nginx = std::make_unique<NginxServer>(Tree());
    const CliRun run = Cli({QStringLiteral("check"), QStringLiteral("help-links-update")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_EQ(ReadFile(Home() + QStringLiteral("/files/koru/help/two words.txt")),
              "help: koru/two words.txt");
    EXPECT_EQ(ReadFile(Home() + QStringLiteral("/files/koru/help/100%.gif")),
              "help: koru/100%.gif");
}

// Under a signed list only a 404 says a file is missing: a list naming a
// help link "Fix 404 Not Found" is still a list, and news quoting the words
// is shown as the publisher wrote it.
TEST_F(ReleaseAttack, QuotedNotFoundWordsAreThePublishersOwn) {
    Append(Served("koru/koru_helplinks.txt"), "\r\nFix 404 Not Found");
    for (const char* file : {"koru/Fix 404 Not Found.txt", "koru/Fix 404 Not Found.gif"})
        WriteFile(Served(file), "help");
    WriteFile(Served("koru/otherinfo.txt"), "HTTP 404 Not Found pages are gone.");
    Publish("k0");
    const CliRun run = Cli({QStringLiteral("check")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Release list verified: serial 1") &&
                run.out.contains("\r\nHTTP 404 Not Found pages are gone.\r\n"))
        << run.out.toStdString();
}

// koru-publish --installable marks the sample archive; install --check vets
// the one koru-cli saved against a fresh list. Unmarked, it is only saved.
TEST_F(ReleaseAttack, InstallCheckVetsTheSavedArchiveOnlyWhenMarked) {
    Tool({Tree(), QStringLiteral("--key"), KeyFile("k0", ".key"), QStringLiteral("--installable")});
    const QString target = work.filePath(QStringLiteral("saved.zip"));
    ASSERT_EQ(Cli({QStringLiteral("check"), QStringLiteral("vanto-update"), target}).exitCode, 0);
    CliRun run = Cli({QStringLiteral("install"), QStringLiteral("--check")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("The archive would install VANTO 02.14:\r\n"
                                 "  adds     README.txt (67 bytes)\r\n"
                                 "  replaces VANTO.ini (106 bytes)\r\n"
                                 "2 files, 173 bytes: 1 replaced, 1 added.\r\n"))
        << run.out.toStdString();
    Publish("k0");
    run = Cli({QStringLiteral("install"), QStringLiteral("--check"), target});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.contains("INSTALL REFUSED: The publisher does not mark the archive"))
        << run.out.toStdString();
}

// install asks first, then swaps the saved archive in, after which the check
// finds nothing newer; restore swaps the old VANTO.ini back.
TEST_F(ReleaseAttack, InstallSwapsTheSavedArchiveInAndRestoreSwapsItBack) {
    Tool({Tree(), QStringLiteral("--key"), KeyFile("k0", ".key"), QStringLiteral("--installable")});
    const QByteArray oldIni = ReadFile(Home() + QStringLiteral("/VANTO.ini"));
    ASSERT_EQ(Cli({QStringLiteral("check"), QStringLiteral("vanto-update"),
                   work.filePath(QStringLiteral("saved.zip"))})
                  .exitCode,
              0);
    EXPECT_EQ(Cli({QStringLiteral("install")}).exitCode, 2);
    EXPECT_EQ(ReadFile(Home() + QStringLiteral("/VANTO.ini")), oldIni);
    CliRun run = Cli({QStringLiteral("--yes"), QStringLiteral("install")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Installed VANTO 02.14 in place of VANTO "))
        << run.out.toStdString();
    run = Cli({QStringLiteral("check")});
    EXPECT_TRUE(run.out.contains("You already have the most recent VANTO."))
        << run.out.toStdString();
    // The same version again would drop the only way back: vetting and install both refuse.
    for (const QString& how : {QStringLiteral("--check"), QStringLiteral("--yes")}) {
        run = how == u"--check" ? Cli({QStringLiteral("install"), how})
                                : Cli({how, QStringLiteral("install")});
        EXPECT_EQ(run.exitCode, 2) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("INSTALL REFUSED: VANTO 02.14 is installed already"))
            << run.out.toStdString();
    }
    EXPECT_EQ(Cli({QStringLiteral("--yes"), QStringLiteral("restore")}).exitCode, 0);
    EXPECT_EQ(ReadFile(Home() + QStringLiteral("/VANTO.ini")), oldIni);
}

// A VANTO started from the folder (a copy of sleep as the list's program, which
// the archive brings too): install refuses it without --yes, and with it waits
// until VANTO closes.
TEST_F(ReleaseAttack, InstallRefusesARunningVantoAndWithYesWaitsForIt) {
    ASSERT_TRUE(QDir().mkpath(Home() + QStringLiteral("/bin")));
    const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    ASSERT_TRUE(QFile::copy(sleep, Home() + QStringLiteral("/bin/vanto")));
    WriteFile(Served("vanto.zip"), TestZip()
                                       .File("VANTO.ini", IniWithVersion("02.14"))
                                       .File("bin/vanto", ReadFile(sleep), S_IFREG | 0755)
                                       .Bytes());
    Tool({Tree(), QStringLiteral("--key"), KeyFile("k0", ".key"), QStringLiteral("--installable"),
          QStringLiteral("--program"), QStringLiteral("bin/vanto")});
    ASSERT_EQ(Cli({QStringLiteral("check"), QStringLiteral("vanto-update"),
                   work.filePath(QStringLiteral("saved.zip"))})
                  .exitCode,
              0);
    ASSERT_EQ(VantoStart::Start(Home(), "bin/vanto", {QStringLiteral("60")}), "");
    const RunningVanto vanto(Home(), "bin/vanto");
    const QList<pid_t> pids = vanto.Pids();
    ASSERT_EQ(pids.size(), 1);
    CliRun run = Cli({QStringLiteral("install")});
    EXPECT_EQ(run.exitCode, 5);
    EXPECT_TRUE(run.out.contains("INSTALL REFUSED: VANTO is running (")) << run.out.toStdString();
    // Closed while koru-cli waits (its check takes well under the delay).
    QTimer::singleShot(3000, [&pids] { ::kill(pids[0], SIGTERM); });
    run = Cli({QStringLiteral("--yes"), QStringLiteral("install")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("VANTO is running; waiting up to 60 seconds for it to close..."))
        << run.out.toStdString();
    // A restore with no check in its run knows the program from the install's record.
    ASSERT_EQ(VantoStart::Start(Home(), "bin/vanto", {QStringLiteral("60")}), "");
    run = Cli({QStringLiteral("restore")});
    EXPECT_EQ(run.exitCode, 5) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("RESTORE REFUSED: VANTO is running (")) << run.out.toStdString();
    for (const pid_t pid : vanto.Pids())
        ::kill(pid, SIGKILL);
}

// A KORU three rotations behind follows the chain unattended and keeps it.
TEST_F(ReleaseAttack, FollowsARotationChainThreeLinksLong) {
    Publish("k0");
    ASSERT_EQ(Cli({QStringLiteral("check")}).exitCode, 0);
    Rotate("k0", "k1");
    Rotate("k1", "k2");
    Rotate("k2", "k3");
    Publish("k3");
    const CliRun run = Cli({QStringLiteral("check")});
    EXPECT_EQ(run.exitCode, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains("Release list verified: serial 2, valid until "));
    // The old key's list no longer counts: the chain moved on with the record.
    QFile::remove(Served("koru/keys/3.txt"));
    EXPECT_EQ(Cli({QStringLiteral("check")}).exitCode, 0);
}

} // namespace
