// What the install benchmarks share: the sample server's tree published with
// --installable, its archive a VANTO 02.14 of `files` files made for the run,
// served by nginx on loopback; VANTO 02.13's folder (the sample's) holding
// the same paths with older bytes, copied afresh for each run; and koru-cli
// pointed at both.
#pragma once

#include "support/CopyTree.h"
#include "support/Minisign.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"
#include "support/TestVantoHome.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

namespace bench {

class InstallTree {
public:
    // `fileBytes` each, all but 2 KiB random, so the archive stays near their sum.
    InstallTree(int files, qsizetype fileBytes) {
        if (!Minisign::Installed() || NginxServer::Program().isEmpty()) {
            std::fprintf(stderr, "minisign and nginx are needed (scripts/install-deps)\n");
            return;
        }
        const QString tree = work_.filePath(QStringLiteral("server"));
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), tree);
        archive = tree + QStringLiteral("/files/vanto.zip");
        QFile::remove(archive);
        const QString image = work_.filePath(QStringLiteral("image"));
        pristine = work_.filePath(QStringLiteral("pristine"));
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/vanto"), pristine);
        const QByteArray ini = ReadFile(pristine + QStringLiteral("/VANTO.ini"));
        QDir().mkpath(image);
        WriteFile(image + QStringLiteral("/VANTO.ini"), QByteArray(ini).replace("02.13", "02.14"));
        std::vector<quint32> words(std::size_t(fileBytes) / 4);
        for (int i = 0; i < files - 1; ++i) {
            const QString folder = QStringLiteral("/data/d%1").arg(i % 40);
            const QString name = folder + QStringLiteral("/f%1.bin").arg(i);
            QDir().mkpath(image + folder);
            QDir().mkpath(pristine + folder);
            QRandomGenerator::global()->fillRange(words.data(), qsizetype(words.size()));
            QByteArray bytes(reinterpret_cast<const char*>(words.data()),
                             std::max<qsizetype>(fileBytes - 2048, 0));
            bytes.append(fileBytes - bytes.size(), char('a' + i % 26));
            WriteFile(image + name, bytes);
            WriteFile(pristine + name, "VANTO 02.13's " + name.toUtf8());
        }
        const QString key = work_.filePath(QStringLiteral("update"));
        QProcess zip;
        zip.setWorkingDirectory(image);
        zip.start(QStringLiteral("zip"),
                  {QStringLiteral("-q"), QStringLiteral("-r"), archive, QStringLiteral(".")});
        if (!zip.waitForFinished(600'000) || zip.exitCode() != 0 || !Minisign::MakeKeys(key) ||
            !Run({QStringLiteral(KORU_PUBLISH), tree, QStringLiteral("--key"),
                  key + QStringLiteral(".key"), QStringLiteral("--installable")}) ||
            !QFile::copy(key + QStringLiteral(".pub"),
                         pristine + QStringLiteral("/files/koru/update.pub"))) {
            std::fprintf(stderr, "publishing the tree failed\n");
            return;
        }
        QDir(image).removeRecursively();
        nginx_ = std::make_unique<NginxServer>(tree);
        qputenv("KORU_SERVER", nginx_->hostAndPort());
        ready = true;
    }

    // A fresh copy of VANTO 02.13's folder, made koru-cli's.
    QString Fresh() {
        const QString copy = work_.filePath(QStringLiteral("run%1").arg(++runs_));
        Run({QStringLiteral("cp"), QStringLiteral("-a"), pristine, copy});
        qputenv("KORU_HOME", QFile::encodeName(copy));
        return copy;
    }

    static bool Run(const QStringList& command) {
        return QProcess::execute(command.first(), command.mid(1)) == 0;
    }

    bool ready = false;
    QString archive;
    QString pristine;

private:
    const TestVantoHome environment_; // no proxy, a state folder of its own
    QTemporaryDir work_;
    std::unique_ptr<NginxServer> nginx_;
    int runs_ = 0;
};

} // namespace bench
