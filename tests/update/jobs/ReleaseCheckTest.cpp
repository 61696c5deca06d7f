// The release check over a scripted connection, no socket: what it asks and
// how it ends before any signature is checked (the signed list itself is
// tested against a server in SignedDownloadTest).
#include "update/jobs/ReleaseCheck.h"

#include "support/Minisign.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/ServerPaths.h"
#include "update/jobs/ScriptedJobFixture.h"

#include <QFile>
#include <optional>

namespace {

using Fixture = ScriptedJobFixture;
using Kind = TransferFailure::Kind;

struct ReleaseRow {
    const char* name;
    bool key; // an update key in VANTO's folder
    QList<ScriptedConnection::Script> connections;
    Kind failure;
    QByteArray failedPath;
    bool listMissing;
    QByteArrayList asked;
};

const ReleaseRow releaseRows[] = {
    {"NoKeyAsksNothing", false, {}, Kind::None, {}, false, {}},
    {"MissingListNeverSeen",
     true,
     {Fixture::Missing()},
     Kind::None,
     {},
     true,
     {ServerPaths::releaseList}},
    {"UnreachableServer",
     true,
     {{ScriptedConnection::Refused()}},
     Kind::Connection,
     ServerPaths::releaseList,
     false,
     {""}},
    {"ListWithoutSignature",
     true,
     {Fixture::Answer(Fixture::Ok("list")), Fixture::Missing()},
     Kind::Release,
     ServerPaths::releaseList,
     false,
     {ServerPaths::releaseList, ServerPaths::releaseListSignature}},
};

class ReleaseCheckTest : public ScriptedJobFixture,
                         public ::testing::WithParamInterface<ReleaseRow> {};

TEST_P(ReleaseCheckTest, EndsAsTheServerAnswers) {
    const ReleaseRow& row = GetParam();
    if (row.key) {
        if (!Minisign::Installed())
            GTEST_SKIP() << "minisign is not installed (scripts/install-deps installs it)";
        const QString base = home.filePath("files/temp/key");
        ASSERT_TRUE(Minisign::MakeKeys(base));
        ASSERT_TRUE(
            QFile::copy(base + QStringLiteral(".pub"), home.filePath(FolderPaths::updateKey)));
    }
    const JobTools tools = Tools(row.connections);
    ReleaseCheck check;
    std::optional<ReleaseCheck::Outcome> ended;
    check.Start(engine, *connection, server, home.path(), held,
                [&](const ReleaseCheck::Outcome& outcome) { ended = outcome; });
    Wait([&] { return ended.has_value(); });

    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->failure.kind, row.failure) << ended->failure.text.constData();
    EXPECT_EQ(ended->path, row.failedPath);
    EXPECT_EQ(held.missing, row.listMissing);
    EXPECT_EQ(Asked(), row.asked);
    EXPECT_FALSE(held.has_value());
}

INSTANTIATE_TEST_SUITE_P(Rows, ReleaseCheckTest, ::testing::ValuesIn(releaseRows),
                         [](const ::testing::TestParamInfo<ReleaseRow>& row) {
                             return std::string(row.param.name);
                         });

} // namespace
