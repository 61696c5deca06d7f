// Archive downloads with a trusted key: the signature file is fetched and the
// archive checked before it replaces the chosen file; any refusal fails the
// download like a failed transfer. Keys and signatures come from minisign.
#include "support/CheckFixture.h"
#include "support/DialogAnswers.h"
#include "support/Minisign.h"

namespace {

const QByteArray archive = ArchiveBytes();
const QByteArray downloading = "Downloading VANTO version 2.14\r\n";
const QByteArray signaturePath = "/files/vanto.zip.minisig";

class SignedDownloadTest : public CheckFixture {
protected:
    void SetUp() override {
        if (!Minisign::Installed())
            GTEST_SKIP() << "minisign is not installed (scripts/install-deps installs it)";
        SharedState().serviceMode = serviceOn;
        SharedState().remoteVersion = 2.14f;
    }

    // Publishes `served` with a signature of `signedBytes`, and trusts the key.
    void Publish(const QByteArray& served, const QByteArray& signedBytes, bool legacy = false) {
        const Minisign::Signed made =
            Minisign::SignBytes(signedBytes, QStringLiteral("VANTO 2.14"), legacy);
        ASSERT_FALSE(made.signature.isEmpty());
        signature = made.signature;
        Write("files/koru/update.pub", made.publicKey);
        server.script("/files/vanto.zip", {{{ZipResponse(served)}}});
        server.script(signaturePath, ScriptedServer::Ok(made.signature));
    }
    void Download() {
        answers.file = home.filePath("update.zip");
        main().mnuAvailableDownload(0).SetEnabled(true); // as a check offering it leaves it
        main().mnuAvailableDownload(0).Click();
    }
    void ExpectRefused(const QByteArray& path, const QByteArray& reason) {
        EXPECT_EQ(Log(), downloading + Failed(path, reason) + separator);
        EXPECT_EQ(Read("update.zip"), QByteArray("<missing>"));
        EXPECT_TRUE(VantoOffered());
    }

    DialogAnswers answers;
    QByteArray signature; // the last one published
};

TEST_F(SignedDownloadTest, BothFormsAreVerifiedAndNamed) {
    for (const bool legacy : {false, true}) {
        Publish(archive, archive, legacy);
        Download();
        EXPECT_EQ(Log(), downloading + "Signature verified: VANTO 2.14\r\nDone!\r\n" + separator);
        EXPECT_TRUE(Read("update.zip") == archive) << (legacy ? "legacy" : "prehashed");
        QFile::remove(home.filePath("update.zip"));
    }
}

TEST_F(SignedDownloadTest, ArchiveWithoutLengthIsTakenWhenVerified) {
    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/zip\r\n\r\n";
    Publish(archive, archive);
    server.script("/files/vanto.zip", {{{head + archive}}, ScriptedServer::Ending::Close});
    Download();
    EXPECT_EQ(Log(), downloading + "Signature verified: VANTO 2.14\r\nDone!\r\n" + separator);
    EXPECT_TRUE(Read("update.zip") == archive);
}

TEST_F(SignedDownloadTest, TamperedArchiveIsRefused) {
    QByteArray tampered = archive;
    tampered[10] = char(tampered[10] ^ 1);
    Publish(tampered, archive);
    Download();
    ExpectRefused(archivePath, "The archive's signature does not match it.");
}

TEST_F(SignedDownloadTest, TamperedArchiveOnTheFirstMirrorIsTakenFromTheNext) {
    QByteArray tampered = archive;
    tampered[10] = char(tampered[10] ^ 1);
    Publish(tampered, archive);
    ScriptedServer mirror;
    mirror.script(signaturePath, ScriptedServer::Ok(signature));
    SharedState().serverHost = server.hostAndPort() + "," + mirror.hostAndPort();
    const QByteArray moved =
        downloading + "Trying the next server, " + mirror.hostAndPort() + ".\r\n";

    mirror.script("/files/vanto.zip", {{{ZipResponse(archive)}}});
    Download();
    EXPECT_EQ(Log(), moved + "Signature verified: VANTO 2.14\r\nDone!\r\n" + separator);
    EXPECT_TRUE(Read("update.zip") == archive);

    // Tampered everywhere: the first server's reason, and how many were tried.
    mirror.script("/files/vanto.zip", {{{ZipResponse(tampered)}}});
    answers.answer = vbYes; // overwrite the archive just saved
    Download();
    EXPECT_EQ(Log(), moved +
                         "TRANSFER FAILED: /files/vanto.zip: The archive's signature does not "
                         "match it. (2 servers tried)\r\n" +
                         separator);
    EXPECT_TRUE(Read("update.zip") == archive);
}

TEST_F(SignedDownloadTest, MissingSignatureIsRefused) {
    Publish(archive, archive);
    server.script(signaturePath, ScriptedServer::NotFound());
    Download();
    ExpectRefused(signaturePath, "The archive has no signature on the server.");
}

TEST_F(SignedDownloadTest, ArchiveSignedByAnotherKeyIsRefused) {
    Publish(archive, archive);
    const Minisign::Signed other = Minisign::SignBytes(archive, QStringLiteral("VANTO 2.14"));
    server.script(signaturePath, ScriptedServer::Ok(other.signature));
    Download();
    EXPECT_TRUE(Log().startsWith(downloading + "TRANSFER FAILED: /files/vanto.zip: The archive "
                                               "is signed by another key (ID "))
        << Log().constData();
    EXPECT_EQ(Read("update.zip"), QByteArray("<missing>"));
}

TEST_F(SignedDownloadTest, MalformedKeyFailsBeforeAnyRequest) {
    Write("files/koru/update.pub", "not a key");
    Download();
    ExpectRefused(archivePath, "The update key file files/koru/update.pub must have two lines, a "
                               "comment and the key.");
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(SignedDownloadTest, ResumedArchiveIsVerifiedWhole) {
    Publish(archive, archive);
    server.scripts("/files/vanto.zip", {{{{CutZipResponse(archive, 100, "ETag: \"v1\"\r\n")}},
                                         ScriptedServer::Ending::Close},
                                        {{{PartialZipResponse(archive, 100)}}}});
    Download();
    Download();
    EXPECT_EQ(Log(), downloading +
                         "Resuming at 100 bytes.\r\nSignature verified: VANTO 2.14\r\n"
                         "Done!\r\n" +
                         separator);
    EXPECT_TRUE(Read("update.zip") == archive);
}

} // namespace
