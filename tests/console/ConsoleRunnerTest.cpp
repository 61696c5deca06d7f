// The console front end's runner: the log after each command byte for byte,
// refusal of disabled items, failures, usage errors and answered questions.
#include "console/ConsoleRunner.h"

#include "platform/runtime/App.h"
#include "platform/runtime/RuntimeError.h"
#include "update/UpdateState.h"

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

TEST_F(ConsoleRunnerTest, ADisabledItemIsRefusedAsAUserCouldNotClickIt) {
    EXPECT_EQ(Run({QStringLiteral("search"), QStringLiteral("all"), QStringLiteral("search")}),
              ConsoleRunner::ItemDisabled);
    EXPECT_EQ(out.data(), search);
    EXPECT_EQ(err.data(),
              QByteArray("koru-cli: all: \"All Available Updates\" (mnuAllAvailableUpdates) is "
                         "disabled\n"));
}

TEST_F(ConsoleRunnerTest, AnErrorFailsTheCommandAfterPrintingTheLogAsItStands) {
    EXPECT_EQ(Run({QStringLiteral("boom"), QStringLiteral("search")}),
              ConsoleRunner::CommandFailed);
    EXPECT_EQ(out.data(), welcome);
    EXPECT_EQ(err.data(), QByteArray("koru-cli: boom: error 53: File not found (test)\n"));
}

TEST_F(ConsoleRunnerTest, ACommandCanReportFailureWithoutAnError) {
    EXPECT_EQ(Run({QStringLiteral("fails"), QStringLiteral("search")}),
              ConsoleRunner::CommandFailed);
    EXPECT_EQ(out.data(), search);
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

TEST_F(ConsoleRunnerTest, QuestionsAreAnsweredNoUnlessYesIsGiven) {
    EXPECT_EQ(Run({QStringLiteral("ask"), QStringLiteral("Save?")}), ConsoleRunner::Success);
    EXPECT_EQ(answered, vbNo);
    EXPECT_EQ(Run({QStringLiteral("--yes"), QStringLiteral("ask"), QStringLiteral("Save?")}),
              ConsoleRunner::Success);
    EXPECT_EQ(answered, vbYes);
    EXPECT_EQ(err.data(), QByteArray("koru-cli: KORU: Save? [No]\nkoru-cli: KORU: Save? [Yes]\n"));
    EXPECT_EQ(MsgBox("after the run", vbYesNo), vbNo); // the seam is put back
}

TEST_F(ConsoleRunnerTest, MessageBoxesGoToTheErrorStream) {
    EXPECT_EQ(Run({QStringLiteral("tell")}), ConsoleRunner::Success);
    EXPECT_EQ(err.data(), QByteArray("koru-cli: Done: Saved.\n"));
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
                      UsageCase{"MissingHome",
                                {QStringLiteral("--yes"), QStringLiteral("--home")},
                                "--home needs DIR"},
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
