// Checking downloaded archives against signatures made by the real minisign
// program: both signature forms, every kind of refusal, resumed downloads and
// the trusted key's file.
#include "support/MinisignKeysTest.h"
#include "support/TestFiles.h"
#include "update/trust/ArchiveSignature.h"
#include "update/trust/ArchiveVerifier.h"
#include "update/trust/UpdateKey.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Two key pairs for the whole suite: the trusted one and another publisher's.
class SignedArchiveTest : public MinisignKeysTest {
protected:
    static void SetUpTestSuite() { MakeKeys({"trusted", "other"}); }

    static UpdateKey Key(const char* name) {
        return UpdateKey::FromFileText(ReadFile(KeyFile(name, ".pub")));
    }

    // Writes the archive and answers minisign's signature file for it.
    QByteArray Sign(const QByteArray& archive, bool legacy, const char* signer = "trusted") {
        WriteFile(archivePath(), archive);
        EXPECT_TRUE(
            Minisign::Sign(archivePath(), KeyFile(signer), QStringLiteral("VANTO 2.14"), legacy));
        return ReadFile(archivePath() + QStringLiteral(".minisig"));
    }

    // Streams the saved archive through a verifier in small pieces, as a download would.
    ArchiveVerifier::Verdict Verify(const QByteArray& signature,
                                    const UpdateKey& key = Key("trusted")) {
        const QByteArray archive = ReadFile(archivePath());
        ArchiveVerifier verifier;
        for (qsizetype at = 0; at < archive.size(); at += 7)
            verifier.Update(archive.constData() + at, std::min<qsizetype>(7, archive.size() - at));
        return verifier.Verify(key, signature, archivePath());
    }

    QString archivePath() const { return work.filePath(QStringLiteral("vanto.zip")); }
};

const QByteArray archiveBytes = QByteArray("PK\x03\x04 VANTO 2.14\r\n").repeated(500);

QByteArray Replaced(QByteArray text, const char* from, const char* to) {
    return text.replace(from, to);
}

// The second line re-encoded with another algorithm name (not a signature change).
QByteArray WithAlgorithm(const QByteArray& signature, const char* algorithm) {
    QList<QByteArray> lines = signature.split('\n');
    QByteArray line = QByteArray::fromBase64(lines[1]);
    line.replace(0, 2, algorithm);
    lines[1] = line.toBase64();
    return lines.join('\n');
}

struct Case {
    const char* name;
    bool legacy;
    QByteArray archive;
    const char* signer;
    std::function<QByteArray(const QByteArray& signature, const QString& archivePath)> change;
    const char* problem; // nullptr: verified
};

TEST_F(SignedArchiveTest, VerifiesGoodSignaturesAndRefusesEveryFault) {
    const auto same = [](const QByteArray& s, const QString&) { return s; };
    const Case cases[] = {
        {"prehashed", false, archiveBytes, "trusted", same, nullptr},
        {"legacy", true, archiveBytes, "trusted", same, nullptr},
        {"empty prehashed", false, {}, "trusted", same, nullptr},
        {"empty legacy", true, {}, "trusted", same, nullptr},
        {"CR LF line ends", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString&) { return Replaced(s, "\n", "\r\n"); }, nullptr},
        {"tampered archive", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString& path) {
             WriteFile(path, Replaced(archiveBytes, "2.14", "6.66"));
             return s;
         },
         "The archive's signature does not match it."},
        {"tampered legacy archive", true, archiveBytes, "trusted",
         [](const QByteArray& s, const QString& path) {
             WriteFile(path, archiveBytes + 'x');
             return s;
         },
         "The archive's signature does not match it."},
        {"another key", false, archiveBytes, "other", same, "The archive is signed by another key"},
        {"truncated", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString&) { return s.left(s.lastIndexOf("trusted")); },
         "The signature file is malformed: it has 2 lines, not 4."},
        {"garbage", false, archiveBytes, "trusted",
         [](const QByteArray&, const QString&) { return QByteArray("<html>404</html>\n"); },
         "The signature file is malformed: it has 1 line, not 4."},
        {"bad base64", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString&) { return Replaced(s, "==\n", "=!\n"); },
         "The signature file is malformed: its last line is not base64 of 64 bytes."},
        {"tampered trusted comment", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString&) {
             return Replaced(s, "VANTO 2.14", "VANTO 9.99");
         },
         "The signature's trusted comment was altered."},
        {"unknown algorithm", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString&) { return WithAlgorithm(s, "EX"); },
         "The archive's signature uses an unknown algorithm."},
        {"legacy name on a prehashed signature", false, archiveBytes, "trusted",
         [](const QByteArray& s, const QString&) { return WithAlgorithm(s, "Ed"); },
         "The archive's signature does not match it."},
        // A signed release list served as the archive, with its own signature.
        {"signed for a release list", false, archiveBytes, "trusted",
         [](const QByteArray&, const QString& path) {
             EXPECT_TRUE(Minisign::Sign(path, KeyFile("trusted"),
                                        QStringLiteral("koru-release serial 1 epoch 0")));
             return ReadFile(path + QStringLiteral(".minisig"));
         },
         "The archive's signature was made for a release list or key chain link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray signature = c.change(Sign(c.archive, c.legacy, c.signer), archivePath());
        const ArchiveVerifier::Verdict verdict = Verify(signature);
        if (c.problem == nullptr) {
            EXPECT_TRUE(verdict.Verified()) << verdict.problem.constData();
            EXPECT_EQ(verdict.trustedComment, QByteArray("VANTO 2.14"));
        } else {
            EXPECT_TRUE(verdict.problem.startsWith(c.problem)) << verdict.problem.constData();
            EXPECT_TRUE(verdict.trustedComment.isEmpty());
        }
    }
}

QByteArray IdShown(const QString& publicKeyPath) {
    const QByteArray comment = ReadFile(publicKeyPath).split('\n').first();
    return comment.mid(comment.lastIndexOf(' ') + 1);
}

TEST_F(SignedArchiveTest, AnotherKeyIsNamedByTheIdMinisignShows) {
    EXPECT_EQ(Verify(Sign(archiveBytes, false, "other")).problem,
              "The archive is signed by another key (ID " + IdShown(KeyFile("other", ".pub")) +
                  ").");
}

// The demo's archive is signed by a key whose id starts with a zero byte.
TEST_F(SignedArchiveTest, SampleArchiveVerifiesWithTheDemoKey) {
    const QString sample = QStringLiteral(QT_TESTCASE_SOURCEDIR "/../sample/");
    const QString archive = sample + QStringLiteral("server/files/vanto.zip");
    const QString demoKey = sample + QStringLiteral("vanto-key/update.pub");
    const QByteArray signature = ReadFile(archive + QStringLiteral(".minisig"));
    ArchiveVerifier verifier;
    ASSERT_EQ(verifier.UpdateFromFile(archive, QFile(archive).size()), QByteArray());
    const ArchiveVerifier::Verdict verdict =
        verifier.Verify(UpdateKey::FromFileText(ReadFile(demoKey)), signature, archive);
    EXPECT_TRUE(verdict.Verified()) << verdict.problem.constData();
    EXPECT_EQ(verdict.trustedComment, QByteArray("VANTO 2.14 (demo archive, demo key)"));
    EXPECT_EQ(verifier.Verify(Key("trusted"), signature, archive).problem,
              "The archive is signed by another key (ID " + IdShown(demoKey) + ").");
}

TEST_F(SignedArchiveTest, EverySingleByteChangeOrCutOfTheSignedLinesIsRefused) {
    const QByteArray signature = Sign("small archive", false);
    const qsizetype signedFrom = signature.indexOf('\n') + 1;
    for (qsizetype at = signedFrom; at < signature.size(); ++at) {
        for (const char flip : {'\x01', '\x20'}) {
            QByteArray changed = signature;
            changed[at] = char(changed[at] ^ flip);
            EXPECT_FALSE(Verify(changed).Verified()) << "byte " << at << " flip " << int(flip);
        }
        // Only the final line end may go.
        EXPECT_EQ(Verify(signature.left(at)).Verified(), at == signature.size() - 1) << at;
    }
}

TEST_F(SignedArchiveTest, ResumedDownloadHashesThePartialFileFirst) {
    const QByteArray signature = Sign(archiveBytes, false);
    const qint64 prefix = 4321;
    ArchiveVerifier verifier;
    ASSERT_EQ(verifier.UpdateFromFile(archivePath(), prefix), QByteArray());
    verifier.Update(archiveBytes.constData() + prefix, archiveBytes.size() - prefix);
    EXPECT_TRUE(verifier.Verify(Key("trusted"), signature, archivePath()).Verified());

    ArchiveVerifier beyond;
    EXPECT_EQ(beyond.UpdateFromFile(archivePath(), archiveBytes.size() + 1),
              QByteArray("The partial archive is shorter than the bytes already received."));
    ArchiveVerifier missing;
    EXPECT_TRUE(missing.UpdateFromFile(archivePath() + QStringLiteral(".none"), 1)
                    .startsWith("The partial archive cannot be read"));
}

TEST_F(SignedArchiveTest, SavedFileMustHoldExactlyTheBytesReceived) {
    const QByteArray signature = Sign(archiveBytes, false);
    ArchiveVerifier verifier;
    verifier.Update(archiveBytes.constData(), archiveBytes.size() - 1);
    EXPECT_EQ(verifier.Verify(Key("trusted"), signature, archivePath()).problem,
              QByteArray("The saved archive does not hold the bytes received."));
}

TEST_F(SignedArchiveTest, KeyFileIsReadStrictly) {
    const QByteArray good = ReadFile(KeyFile("trusted", ".pub"));
    const QByteArray line = good.split('\n')[1];
    const struct {
        QByteArray text;
        const char* problem; // nullptr: usable
    } cases[] = {
        {good, nullptr},
        {good.trimmed(), nullptr},
        {Replaced(good, "\n", "\r\n"), nullptr},
        {good + "\n", "must have two lines"},
        {line, "must have two lines"},
        {"untrusted comment: x\n" + line + "\nextra\n", "must have two lines"},
        {"comment: x\n" + line, "does not start with an untrusted comment"},
        {"untrusted comment: x\n" + line + ' ', "is not a minisign public key"},
        {"untrusted comment: x\n" + line.left(line.size() - 4), "is not a minisign public key"},
        {"untrusted comment: x\n" + WithAlgorithm("\n" + line, "ED").mid(1), "is not an Ed25519"},
        {QByteArray(5000, 'A'), "is too large"},
        {{}, "must have two lines"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(60).constData());
        const UpdateKey key = UpdateKey::FromFileText(c.text);
        EXPECT_TRUE(key.Present());
        EXPECT_EQ(key.Usable(), c.problem == nullptr);
        if (c.problem != nullptr) {
            EXPECT_TRUE(key.Problem().startsWith("The update key file files/koru/update.pub "));
            EXPECT_TRUE(key.Problem().contains(c.problem)) << key.Problem().constData();
            // A malformed key refuses every download with its reason.
            EXPECT_EQ(Verify(Sign("a", false), key).problem, key.Problem());
        }
    }
}

TEST_F(SignedArchiveTest, KeyFileInVantoFolderWinsOverBuiltInKey) {
    QTemporaryDir vanto;
    const QByteArray trustedLine = ReadFile(KeyFile("trusted", ".pub")).split('\n')[1];
    const QByteArray otherLine = ReadFile(KeyFile("other", ".pub")).split('\n')[1];
    const auto keysFor = [&](const QByteArray& builtIn) {
        return TrustedKeys::ForVantoFolder(vanto.path(), builtIn);
    };
    EXPECT_FALSE(keysFor({}).Present());
    EXPECT_EQ(keysFor(otherLine).Keys().first().KeyId(), Key("other").KeyId());
    EXPECT_EQ(
        keysFor("bad").Problem(),
        QByteArray("The built-in update key is not a minisign public key (base64 of 42 bytes)."));

    ASSERT_TRUE(QDir(vanto.path()).mkpath(QStringLiteral("files/koru")));
    const QString keyFile = vanto.filePath(QString::fromLatin1(UpdateKey::relativePath));
    WriteFile(keyFile, "untrusted comment: x\n" + trustedLine + "\n");
    EXPECT_EQ(keysFor(otherLine).Keys().first().KeyId(), Key("trusted").KeyId());
    WriteFile(keyFile, "garbage");
    EXPECT_FALSE(keysFor(otherLine).Usable());

    // Anything but a regular file is refused unopened: a FIFO would block an
    // open that waits for a writer, and a device could be read for ever.
    const std::function<bool()> makeOther[] = {
        [&] { return QDir().mkpath(keyFile); },
        [&] { return ::mkfifo(QFile::encodeName(keyFile).constData(), 0600) == 0; },
        [&] { return QFile::link(QStringLiteral("/dev/zero"), keyFile); },
    };
    for (const auto& make : makeOther) {
        ASSERT_TRUE((QFile::remove(keyFile) || QDir().rmdir(keyFile)) && make());
        EXPECT_TRUE(keysFor(otherLine).Problem().endsWith(
            "files/koru/update.pub cannot be read (it is not a regular file)."))
            << keysFor(otherLine).Problem().constData();
    }
}

// A key file may hold the next key beside the current one: the signature's
// key id picks the key, and a key the file lacks is still refused.
TEST_F(SignedArchiveTest, KeyFileOfSeveralKeysVerifiesWithTheKeyTheSignatureNames) {
    const QByteArray signature = Sign(archiveBytes, false);
    const QByteArray other = ReadFile(KeyFile("other", ".pub"));
    const QByteArray trusted = ReadFile(KeyFile("trusted", ".pub"));
    ArchiveVerifier verifier;
    verifier.Update(archiveBytes.constData(), archiveBytes.size());
    const auto verify = [&](const QByteArray& keyFile) {
        return verifier.Verify(TrustedKeys::FromFileText(keyFile, "keys"), signature,
                               archivePath());
    };
    EXPECT_EQ(verify(other + trusted).trustedComment, QByteArray("VANTO 2.14"));
    EXPECT_TRUE(verify(other).problem.startsWith("The archive is signed by another key"));
}

} // namespace
