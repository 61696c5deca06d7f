// The console front end's runner: the log after each command byte for byte,
// refusal of disabled items, failures, usage errors and answered questions.
#include "console/ConsoleRunner.h"

#include "platform/runtime/App.h"
#include "platform/runtime/RuntimeError.h"
#include "support/TestFiles.h"
#include "update/net/UpdateServer.h"
#include "update/windows/UpdateState.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QByteArray separator = QByteArray(38, '-') + "\r\n";
const QByteArray welcome = "Welcome to KORU.\r\n" + separator;
const QByteArray search =
    "Search KORU's Database of VANTO information.\r\nTHIS FEATURE IS NOT YET AVAILABLE.\r\n" +
    separator;

MsgBoxResult answered = vbOK;
QStringList vetted; // the arguments "vet" was given

MenuItem& SearchItem(MainForm& f) {
    return f.mnuSearchForAnswers;
}

// A server's text that would drive a terminal: a clipboard write, a bell, a
// C1 escape.
const QByteArray hostile = "\x1b]52;c;eA==\x07\tnews\x7f\xc2\x9b"
                           "2J caf\xc3\xa9\r\n";

const ConsoleCommand testCommands[] = {
    {"search", nullptr, SearchItem},
    {"all", nullptr, [](MainForm& f) -> MenuItem& { return f.mnuAllAvailableUpdates; }},
    {"ask", "QUESTION", SearchItem,
     [](const QString& question) { answered = MsgBox(question.toLatin1(), vbYesNo); }},
    {"tell", nullptr, SearchItem, [](const QString&) { MsgBox("Saved.", vbOKOnly, "Done"); }},
    {"boom", nullptr, SearchItem,
     [](const QString&) { throw RuntimeError(53, "File not found", "test"); }},
    {"fails", nullptr, SearchItem, nullptr, [](MainForm&) { return true; }},
    {"vet", "ARCHIVE", SearchItem, [](const QString& archive) { vetted << archive; }, nullptr,
     "--check", true},
    {"hostile", nullptr, SearchItem, nullptr,
     [](MainForm& f) {
         f.SystemMessagesText1.Append(hostile);
         return false;
     }},
};

class ConsoleRunnerTest : public ::testing::Test {
protected:
    ConsoleRunnerTest() {
        SharedState().Reset();
        out.open(QIODevice::WriteOnly);
        err.open(QIODevice::WriteOnly);
    }
    ~ConsoleRunnerTest() override { SharedState().Reset(); }

    int Run(const QStringList& arguments) {
        return ConsoleRunner(out, err, testCommands).Run(arguments);
    }

    QBuffer out;
    QBuffer err;
};

} // namespace

TEST_F(ConsoleRunnerTest, BuiltInCommandsPrintTheWholeLogAfterEachCommand) {
    const QStringList all{QStringLiteral("search"), QStringLiteral("plugins"),
                          QStringLiteral("search")};
    EXPECT_EQ(ConsoleRunner(out, err).Run(all), ConsoleRunner::Success);
    EXPECT_TRUE(out.data().startsWith(search + "VANTO has a unique plugin format"));
    EXPECT_TRUE(out.data().endsWith(separator + search));
    EXPECT_EQ(err.data(), QByteArray());
}

// A run stops at the first command that fails, after printing the log as it stands.
TEST_F(ConsoleRunnerTest, EachCommandsOutcomeEndsOrContinuesTheRun) {
    const struct {
        const char* line;
        int status;
        QByteArray out;
        QByteArray err;
    } cases[] = {
        {"search all search", ConsoleRunner::ItemDisabled, search,
         "koru-cli: all: \"All Available Updates\" (UPDATES > Download) is disabled; no check in "
         "this run offered it.\n"},
        {"boom search", ConsoleRunner::CommandFailed, welcome,
         "koru-cli: boom: error 53: File not found (test)\n"},
        {"fails search", ConsoleRunner::CommandFailed, search, ""},
        // Message boxes go to the error stream.
        {"tell", ConsoleRunner::Success, search, "koru-cli: Done: Saved.\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        for (QBuffer* buffer : {&out, &err}) {
            buffer->buffer().clear();
            buffer->seek(0);
        }
        EXPECT_EQ(Run(QString::fromLatin1(c.line).split(u' ')), c.status);
        EXPECT_EQ(out.data(), c.out);
        EXPECT_EQ(err.data(), c.err);
    }
}

TEST_F(ConsoleRunnerTest, ControlBytesAreShownVisiblyOnlyForATerminal) {
    for (const bool terminal : {false, true}) {
        out.buffer().clear();
        out.seek(0);
        ConsoleRunner runner(out, err, testCommands);
        runner.ShowControlsVisibly(terminal);
        EXPECT_EQ(runner.Run({QStringLiteral("hostile")}), ConsoleRunner::Success);
        EXPECT_EQ(out.data(),
                  search + (terminal ? "^[]52;c;eA==^G\tnews^?M-^[2J caf\xc3\xa9\r\n" : hostile));
    }
}

// An optional argument is taken unless the word after it is a command.
TEST_F(ConsoleRunnerTest, OptionalArgumentIsNotTakenFromTheNextCommand) {
    vetted.clear();
    EXPECT_EQ(Run(QString::fromLatin1("vet --check a.zip vet --check search").split(u' ')),
              ConsoleRunner::Success);
    EXPECT_EQ(vetted, (QStringList{QStringLiteral("a.zip"), QString()}));
    EXPECT_EQ(out.data(), search + search + search);
}

TEST_F(ConsoleRunnerTest, QuestionsAreAnsweredNoUnlessYesIsGiven) {
    EXPECT_EQ(Run({QStringLiteral("ask"), QStringLiteral("Save?")}), ConsoleRunner::Success);
    EXPECT_EQ(answered, vbNo);
    EXPECT_EQ(Run({QStringLiteral("--yes"), QStringLiteral("ask"), QStringLiteral("Save?")}),
              ConsoleRunner::Success);
    EXPECT_EQ(answered, vbYes);
    EXPECT_EQ(err.data(), QByteArray("koru-cli: KORU: Save? [No]\nkoru-cli: KORU: Save? [Yes]\n"));
    EXPECT_EQ(MsgBox("after the run", vbYesNo), vbNo); // the seam is put back
}

namespace {

struct UsageCase {
    const char* name;
    QStringList arguments;
    const char* problem;
};

class ConsoleUsageTest : public ConsoleRunnerTest,
                         public ::testing::WithParamInterface<UsageCase> {};

} // namespace

TEST_P(ConsoleUsageTest, BadUsageRunsNothingAndExplains) {
    EXPECT_EQ(Run(GetParam().arguments), ConsoleRunner::BadUsage);
    EXPECT_EQ(out.data(), QByteArray());
    EXPECT_EQ(err.data(),
              QByteArray("koru-cli: ") + GetParam().problem + "\nTry 'koru-cli --help'.\n");
    const QByteArray usage = ConsoleRunner(out, err, testCommands).Usage();
    EXPECT_TRUE(usage.contains("usage: koru-cli [OPTION]... COMMAND [ARG]..."));
    EXPECT_TRUE(usage.contains("  ask QUESTION          Search For Answers\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleUsageTest,
    ::testing::Values(UsageCase{"NoCommand", {}, "no command given"},
                      UsageCase{"OnlyAnOption", {QStringLiteral("--yes")}, "no command given"},
                      UsageCase{"UnknownOption",
                                {QStringLiteral("--maybe"), QStringLiteral("search")},
                                "unknown option --maybe"},
                      UsageCase{"UnknownCommand",
                                {QStringLiteral("search"), QStringLiteral("nope")},
                                "unknown command nope"},
                      UsageCase{"MissingArgument",
                                {QStringLiteral("search"), QStringLiteral("ask")},
                                "ask needs QUESTION"},
                      UsageCase{"MissingWord",
                                {QStringLiteral("vet"), QStringLiteral("a.zip")},
                                "vet needs --check"},
                      UsageCase{"MissingHome",
                                {QStringLiteral("--yes"), QStringLiteral("--home")},
                                "--home needs DIR"},
                      UsageCase{"KorusCheckOption",
                                {QStringLiteral("--check"), QStringLiteral("search")},
                                "--check is koru's (here the command check runs the check)"},
                      UsageCase{"BadServerBeforeAGoodCommand",
                                {QStringLiteral("--server=h:x"), QStringLiteral("search")},
                                "--server h:x: not HOST or HOST:PORT with a port from 1 to "
                                "65535"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(ConsoleRunnerTest, HomeAndServerHoldForTheRunTheyAreGivenTo) {
    QTemporaryDir home;
    EXPECT_EQ(Run({u"--server"_qs, u"127.0.0.1:8080"_qs, u"--home"_qs, home.path(), u"search"_qs}),
              ConsoleRunner::Success);
    EXPECT_EQ(UpdateServerHost(), QByteArray("127.0.0.1:8080"));
    EXPECT_EQ(App::Path(), QDir::cleanPath(home.path()));
    EXPECT_EQ(Run({u"search"_qs}), ConsoleRunner::Success);
    EXPECT_NE(UpdateServerHost(), QByteArray("127.0.0.1:8080"));
    EXPECT_NE(App::Path(), QDir::cleanPath(home.path()));
}

// A damaged plan in .koru/ stops the run before any command, naming the
// folder, and is left as it was.
TEST_F(ConsoleRunnerTest, ADamagedInstallPlanStopsTheRunBeforeAnyCommand) {
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath(u".koru"_qs));
    const QByteArray torn = "koru-plan 1\ntoken 5\nkind install\n";
    WriteFile(home.filePath(u".koru/plan"_qs), torn);
    EXPECT_EQ(Run({u"--home"_qs, home.path(), u"search"_qs}), ConsoleRunner::DamagedFolder);
    EXPECT_TRUE(err.data().contains("/.koru is damaged")) << err.data().toStdString();
    EXPECT_TRUE(out.data().isEmpty());
    EXPECT_EQ(ReadFile(home.filePath(u".koru/plan"_qs)), torn);
}

// What the start settled heads the output, whatever the first command's log.
TEST_F(ConsoleRunnerTest, AnInterruptedInstallUndoneAtStartIsSaidFirst) {
    QTemporaryDir home;
    ASSERT_TRUE(QDir(home.path()).mkpath(u".koru"_qs));
    WriteFile(home.filePath(u".koru/plan"_qs), "koru-plan 1\ntoken 5\nkind install\nfrom "
                                               ".koru/stage\nold 02.13\nnew 02.14\nend\n");
    EXPECT_EQ(Run({u"--home"_qs, home.path(), u"search"_qs}), ConsoleRunner::Success);
    EXPECT_TRUE(out.data().startsWith("An interrupted install of VANTO 02.14 was undone.\r\n"))
        << out.data().toStdString();
}
