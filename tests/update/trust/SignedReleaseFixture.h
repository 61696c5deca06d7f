// Key pairs made by the real minisign once per suite, and the texts they sign
// for the release tests: lists and key chain links.
#pragma once

#include "support/MinisignKeysTest.h"
#include "support/TestFiles.h"
#include "update/trust/KeyChain.h"
#include "update/trust/TrustedKeys.h"

#ifdef KORU_PUBLISH
#include "support/CopyTree.h"

#include <QProcess>
#endif

class SignedReleaseFixture : public MinisignKeysTest {
protected:
    static void SetUpTestSuite() { MakeKeys({"k0", "k1", "k2", "k3", "other"}); }

    // The key file text of the named keys, one line pair each.
    static QByteArray PublicKeys(std::initializer_list<const char*> names) {
        QByteArray text;
        for (const char* name : names)
            text += ReadFile(KeyFile(name, ".pub"));
        return text;
    }
    static TrustedKeys Trusted(std::initializer_list<const char*> names) {
        return TrustedKeys::FromFileText(PublicKeys(names), "The test keys");
    }

    // minisign's signature of `text` by the named key.
    QByteArray Sign(const QByteArray& text, const char* signer, const QByteArray& comment) {
        const QString file = work.filePath(QStringLiteral("signed"));
        WriteFile(file, text);
        EXPECT_TRUE(Minisign::Sign(file, KeyFile(signer), QString::fromLatin1(comment)));
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

    // Where a test keeps the server tree it publishes, and a file under its files/.
    QString Tree() const { return work.filePath(QStringLiteral("tree")); }
    QString Served(const char* relative) const {
        return Tree() + QStringLiteral("/files/") + QString::fromLatin1(relative);
    }

#ifdef KORU_PUBLISH
    void CopySampleTree() const {
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), Tree());
    }

    struct Published {
        int exitCode = -1;
        QByteArray output;
        QByteArray errors;
    };
    // koru-publish as a publisher runs it: no terminal, the password only when given.
    static Published RunPublish(const QStringList& arguments, const QByteArray& password = {}) {
        QProcess publish;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("KORU_PUBLISH_PASSWORD"));
        if (!password.isNull())
            environment.insert(QStringLiteral("KORU_PUBLISH_PASSWORD"),
                               QString::fromUtf8(password));
        publish.setProcessEnvironment(environment);
        publish.setStandardInputFile(QProcess::nullDevice());
        publish.start(QStringLiteral(KORU_PUBLISH), arguments);
        if (!publish.waitForFinished(120000))
            return {};
        return {publish.exitCode(), publish.readAllStandardOutput(),
                publish.readAllStandardError()};
    }
#endif
};
