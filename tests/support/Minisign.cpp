#include "support/Minisign.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace Minisign {

bool Installed() {
    return !QStandardPaths::findExecutable(QStringLiteral("minisign")).isEmpty();
}

bool Run(const QStringList& arguments) {
    QProcess minisign;
    minisign.setStandardInputFile(QProcess::nullDevice());
    minisign.start(QStringLiteral("minisign"), arguments);
    return minisign.waitForFinished(30000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

bool MakeKeys(const QString& base) {
    return Run({QStringLiteral("-G"), QStringLiteral("-W"), QStringLiteral("-p"),
                base + QStringLiteral(".pub"), QStringLiteral("-s"),
                base + QStringLiteral(".key")});
}

bool MakeProtectedKeys(const QString& base, const QByteArray& password) {
    QProcess minisign;
    minisign.start(QStringLiteral("minisign"),
                   {QStringLiteral("-G"), QStringLiteral("-p"), base + QStringLiteral(".pub"),
                    QStringLiteral("-s"), base + QStringLiteral(".key")});
    minisign.write(password + '\n' + password + '\n');
    minisign.closeWriteChannel();
    // Deriving the key from the password takes seconds on a busy machine.
    return minisign.waitForFinished(120000) && minisign.exitStatus() == QProcess::NormalExit &&
           minisign.exitCode() == 0;
}

bool Sign(const QString& file, const QString& base, const QString& trustedComment, bool legacy) {
    QStringList arguments{QStringLiteral("-S"),
                          QStringLiteral("-s"),
                          base + QStringLiteral(".key"),
                          QStringLiteral("-m"),
                          file,
                          QStringLiteral("-t"),
                          trustedComment};
    if (legacy)
        arguments << QStringLiteral("-l");
    return Run(arguments);
}

Signed SignBytes(const QByteArray& bytes, const QString& trustedComment, bool legacy) {
    QTemporaryDir dir;
    const QString base = dir.filePath(QStringLiteral("key"));
    const QString file = dir.filePath(QStringLiteral("archive"));
    QFile archive(file);
    if (!archive.open(QIODevice::WriteOnly) || archive.write(bytes) != bytes.size())
        return {};
    archive.close();
    if (!MakeKeys(base) || !Sign(file, base, trustedComment, legacy))
        return {};
    QFile publicKey(base + QStringLiteral(".pub"));
    QFile signature(file + QStringLiteral(".minisig"));
    if (!publicKey.open(QIODevice::ReadOnly) || !signature.open(QIODevice::ReadOnly))
        return {};
    return {publicKey.readAll(), signature.readAll()};
}

} // namespace Minisign
