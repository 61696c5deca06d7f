// Two mirrors under a held release list: every try starts with a fresh
// check, so no byte of a failed try reaches the next one's verdict, and an
// archive the list refuses on one mirror is taken from the next.
#include "support/CheckFixture.h"
#include "support/DialogAnswers.h"

#include <sodium.h>

namespace {

const QByteArray versionPath = "/files/koru/vanto_ver.txt";
const QByteArray version = "VER = 02.14\r\nRelease notes.";
const QByteArray archive = ArchiveBytes();

QByteArray Hash(const QByteArray& bytes) {
    QByteArray hash(ReleaseList::hashSize, Qt::Uninitialized);
    crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), size_t(hash.size()),
                       reinterpret_cast<const unsigned char*>(bytes.constData()),
                       size_t(bytes.size()), nullptr, 0);
    return hash;
}

struct Mirrors {
    const char* name;
    bool archive; // the archive rather than the version file
    ScriptedServer::Script first, second;
    bool taken; // from the second mirror, whole and right
};

class MirrorAttemptTest : public CheckFixture, public ::testing::WithParamInterface<Mirrors> {
protected:
    MirrorAttemptTest() {
        SharedState().releaseList = ReleaseList{};
        SharedState().releaseList->files = {{"koru/vanto_ver.txt", version.size(), Hash(version)},
                                            {"vanto.zip", archive.size(), Hash(archive)}};
        SharedState().serverHost = server.hostAndPort() + ',' + second.hostAndPort();
    }
    ScriptedServer second;
    DialogAnswers answers;
};

TEST_P(MirrorAttemptTest, UsesOnlyWhatOneMirrorSentWhole) {
    const QByteArray path = GetParam().archive ? "/files/vanto.zip" : versionPath;
    server.script(path, GetParam().first);
    second.script(path, GetParam().second);
    if (GetParam().archive) {
        SharedState().serviceMode = serviceOn;
        SharedState().remoteVersion = 2.14f;
        answers.file = home.filePath("update.zip");
        main().mnuAvailableDownload(0).SetEnabled(true);
        main().mnuAvailableDownload(0).Click();
        EXPECT_EQ(Read("update.zip"), GetParam().taken ? archive : QByteArray("<missing>"));
    } else {
        Check();
        EXPECT_EQ(VantoOffered(), GetParam().taken);
        EXPECT_EQ(Log().contains("\r\n" + version + "\r\n"), GetParam().taken);
    }
    EXPECT_EQ(Log().contains("TRANSFER FAILED: " + path), !GetParam().taken) << Log().constData();
    EXPECT_TRUE(Log().contains("Trying the next server, " + second.hostAndPort() + '.'));
}

const QByteArray versionAnswer = ScriptedServer::Response("200 OK", version);
// The whole answer announced, the line reset after the body's first byte.
const ScriptedServer::Script cutVersion{
    {{versionAnswer.left(versionAnswer.size() - version.size() + 1)}},
    ScriptedServer::Ending::Reset};
QByteArray tampered = [] {
    QByteArray bytes = archive;
    bytes[10] = char(bytes[10] ^ 1);
    return bytes;
}();

INSTANTIATE_TEST_SUITE_P(
    Rows, MirrorAttemptTest,
    ::testing::Values(Mirrors{"CutThenWhole", false, cutVersion, ScriptedServer::Ok(version), true},
                      Mirrors{"CutThenTheRest", false, cutVersion,
                              ScriptedServer::Ok(version.mid(1)), false},
                      Mirrors{"ArchiveRefusedThenRight",
                              true,
                              {{{ZipResponse(tampered)}}},
                              {{{ZipResponse(archive)}}},
                              true}),
    [](const ::testing::TestParamInfo<Mirrors>& param) { return param.param.name; });

} // namespace
