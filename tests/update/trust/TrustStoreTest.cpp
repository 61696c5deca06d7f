// What KORU remembers between checks: the record starts at the anchor, keeps
// the furthest serial and epoch whoever wrote last, is replaced whole, and a
// damaged one is named rather than trusted.
#include "update/trust/TrustStore.h"

#include "SignedReleaseFixture.h"

#include <QDir>

namespace {

class TrustStoreTest : public SignedReleaseFixture {
protected:
    QString Folder() const { return work.filePath(QStringLiteral("state/koru")); }
};

TEST_F(TrustStoreTest, StartsAtTheAnchorAndKeepsTheFurthestOfTwoWriters) {
    const TrustedKeys anchor = Trusted({"k0"});
    TrustStore first(Folder(), anchor);
    TrustStore second(Folder(), anchor);
    const TrustStore::State fresh = first.Load();
    EXPECT_EQ(fresh.problem, "");
    EXPECT_EQ(fresh.serial, 0);
    EXPECT_FALSE(fresh.listSeen);
    EXPECT_EQ(fresh.keys.KeyLines(), anchor.KeyLines());

    first.Record({42, 2, Trusted({"k2", "k3"}), true, {}});
    // A slower KORU that accepted an older list and epoch records after it.
    second.Record({41, 1, Trusted({"k1"}), true, {}});
    const TrustStore::State state = second.Load();
    EXPECT_EQ(state.problem, "");
    EXPECT_EQ(state.serial, 42);
    EXPECT_EQ(state.epoch, 2);
    EXPECT_TRUE(state.listSeen);
    EXPECT_EQ(state.keys.KeyLines(), Trusted({"k2", "k3"}).KeyLines());
    // Replaced whole: nothing but the record and its lock beside it.
    const QStringList names = QDir(Folder()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(names.size(), 2) << names.join(u' ').toStdString();
}

TEST_F(TrustStoreTest, DamagedRecordIsNamed) {
    TrustStore store(Folder(), Trusted({"k0"}));
    store.Record({42, 0, {}, true, {}});
    WriteFile(store.FilePath(), "koru-trust 1\nserial 4x\nepoch 0\nlist-seen yes\n");
    EXPECT_EQ(store.Load().problem,
              "KORU's trust record " + QFile::encodeName(store.FilePath()) +
                  " is damaged (its serial, epoch or list-seen line); remove it to trust the "
                  "update key afresh.");
}

} // namespace
