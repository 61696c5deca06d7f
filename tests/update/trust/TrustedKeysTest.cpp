// Several trusted keys in one key file or one built-in setting, and the key
// file in VANTO's folder taking the place of the built-in keys.
#include "SignedReleaseFixture.h"

#include <QDir>

namespace {

class TrustedKeysTest : public SignedReleaseFixture {};

QByteArray KeyLine(const QByteArray& keyFile) {
    return keyFile.split('\n').value(1);
}

TEST_F(TrustedKeysTest, KeyFileWinsOverTheBuiltInKeysWhichMayBeSeveral) {
    const QByteArray builtIn = KeyLine(PublicKeys({"k0"})) + ' ' + KeyLine(PublicKeys({"k1"}));
    const TrustedKeys both = TrustedKeys::ForVantoFolder(work.path(), builtIn);
    ASSERT_TRUE(both.Usable()) << both.Problem().constData();
    EXPECT_EQ(both.KeyLines(), Trusted({"k0", "k1"}).KeyLines());

    QDir(work.path()).mkpath(QStringLiteral("files/koru"));
    WriteFile(work.filePath(QString::fromLatin1(UpdateKey::relativePath)),
              PublicKeys({"k2", "other"}));
    const TrustedKeys file = TrustedKeys::ForVantoFolder(work.path(), builtIn);
    EXPECT_EQ(file.KeyLines(), Trusted({"k2", "other"}).KeyLines());
    EXPECT_EQ(TrustedKeys::FromFileText(file.FileText(), "again").KeyLines(), file.KeyLines());
}

} // namespace
