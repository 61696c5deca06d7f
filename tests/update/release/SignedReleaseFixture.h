// Key pairs made by the real minisign once per suite, and the texts they sign
// for the release tests: lists and key chain links.
#pragma once

#include "support/Minisign.h"
#include "support/TestFiles.h"
#include "update/release/KeyChain.h"
#include "update/release/TrustedKeys.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

class SignedReleaseFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!Minisign::Installed())
            return;
        keys = std::make_unique<QTemporaryDir>();
        for (const char* name : {"k0", "k1", "k2", "k3", "other"})
            ASSERT_TRUE(Minisign::MakeKeys(keys->filePath(QString::fromLatin1(name))));
    }
    static void TearDownTestSuite() { keys.reset(); }

    void SetUp() override {
        if (!keys)
            GTEST_SKIP() << "minisign is not installed (scripts/install-deps installs it)";
    }

    // The key file text of the named keys, one line pair each.
    static QByteArray PublicKeys(std::initializer_list<const char*> names) {
        QByteArray text;
        for (const char* name : names)
            text += ReadFile(keys->filePath(QString::fromLatin1(name) + QStringLiteral(".pub")));
        return text;
    }
    static TrustedKeys Trusted(std::initializer_list<const char*> names) {
        return TrustedKeys::FromFileText(PublicKeys(names), "The test keys");
    }

    // minisign's signature of `text` by the named key.
    QByteArray Sign(const QByteArray& text, const char* signer, const QByteArray& comment) {
        const QString file = work.filePath(QStringLiteral("signed"));
        WriteFile(file, text);
        EXPECT_TRUE(Minisign::Sign(file, keys->filePath(QString::fromLatin1(signer)),
                                   QString::fromLatin1(comment)));
        return ReadFile(file + QStringLiteral(".minisig"));
    }

    struct Link {
        QByteArray text;
        QByteArray signature;
    };
    // The link of `epoch` listing `listed`, signed by `signer` for that epoch.
    Link MakeLink(qint64 epoch, const char* signer, std::initializer_list<const char*> listed) {
        const QByteArray text = PublicKeys(listed);
        return {text, Sign(text, signer, KeyChain::LinkComment(epoch))};
    }

    // Where a test keeps the server tree it publishes.
    QString Tree() const { return work.filePath(QStringLiteral("tree")); }

    static std::unique_ptr<QTemporaryDir> keys;
    QTemporaryDir work;
};

inline std::unique_ptr<QTemporaryDir> SignedReleaseFixture::keys;
