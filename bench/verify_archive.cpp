// What checking a signed archive costs: hashing the bytes as they stream in
// (64 KiB pieces, as the socket delivers them), the final check of the usual
// prehashed form, and the legacy form checked on the saved file mapped from
// disk, with the process's anonymous memory before and after (it must stay
// flat: the archive is never read into memory). Needs the minisign program.
#include "update/trust/ArchiveVerifier.h"
#include "update/trust/UpdateKey.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

constexpr qsizetype TotalBytes = qsizetype{256} << 20;
constexpr qsizetype PieceBytes = qsizetype{64} << 10;

bool Minisign(const QStringList& arguments) {
    QProcess minisign;
    minisign.setStandardInputFile(QProcess::nullDevice());
    minisign.start(QStringLiteral("minisign"), arguments);
    return minisign.waitForFinished(120000) && minisign.exitCode() == 0;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Anonymous resident memory in KiB, from /proc/self/status.
long RssAnonKiB() {
    for (const QByteArray& line : ReadAll(QStringLiteral("/proc/self/status")).split('\n')) {
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString archive = dir.filePath(QStringLiteral("vanto.zip"));
    const QString pub = dir.filePath(QStringLiteral("update.pub"));
    const QString key = dir.filePath(QStringLiteral("update.key"));
    QByteArray piece(PieceBytes, Qt::Uninitialized);
    for (qsizetype i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>(i * 31 + i / 7);
    {
        QFile file(archive);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        for (qsizetype done = 0; done < TotalBytes; done += PieceBytes)
            file.write(piece);
    }
    const QString sig = archive + QStringLiteral(".minisig");
    const QStringList sign{
        QStringLiteral("-S"), QStringLiteral("-s"),   key, QStringLiteral("-m"), archive,
        QStringLiteral("-t"), QStringLiteral("bench")};
    if (!Minisign({QStringLiteral("-G"), QStringLiteral("-W"), QStringLiteral("-p"), pub,
                   QStringLiteral("-s"), key}) ||
        !Minisign(sign)) {
        std::fprintf(stderr, "minisign is needed (scripts/install-deps installs it)\n");
        return 1;
    }
    const QByteArray prehashed = ReadAll(sig);
    if (!Minisign(sign + QStringList{QStringLiteral("-l")}))
        return 1;
    const QByteArray legacy = ReadAll(sig);
    const UpdateKey trusted = UpdateKey::FromFileText(ReadAll(pub));

    ArchiveVerifier verifier;
    QElapsedTimer timer;
    timer.start();
    for (qsizetype done = 0; done < TotalBytes; done += PieceBytes)
        verifier.Update(piece.constData(), piece.size());
    const double hashSeconds = double(timer.nsecsElapsed()) / 1e9;

    timer.restart();
    const bool prehashedOk = verifier.Verify(trusted, prehashed, archive).Verified();
    const double finalMs = double(timer.nsecsElapsed()) / 1e6;

    const long anonBefore = RssAnonKiB();
    timer.restart();
    const bool legacyOk = verifier.Verify(trusted, legacy, archive).Verified();
    const double legacySeconds = double(timer.nsecsElapsed()) / 1e9;
    const long anonAfter = RssAnonKiB();

    const double megabytes = double(TotalBytes) / 1e6;
    std::printf("streamed BLAKE2b-512: %.0f MB/s (%.0f MB in %.3f s)\n", megabytes / hashSeconds,
                megabytes, hashSeconds);
    std::printf("prehashed check at the end: %.2f ms (%s)\n", finalMs,
                prehashedOk ? "verified" : "REFUSED");
    std::printf("legacy check of the mapped file: %.0f MB/s, %.3f s (%s); anonymous memory "
                "%ld KiB before, %ld KiB after\n",
                megabytes / legacySeconds, legacySeconds, legacyOk ? "verified" : "REFUSED",
                anonBefore, anonAfter);
    return prehashedOk && legacyOk ? 0 : 1;
}
