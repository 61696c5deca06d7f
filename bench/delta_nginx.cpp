// A delta update against stock nginx: two archives made with zip at run time
// (about 120 files of 175 MB, half of them compressible, in an archive of some
// 100 MB; a quarter of the files changed, two added and one
// removed), the new one published with zsyncmake's control file, and
// "koru-cli --yes check vanto-update FILE" with the old archive as the file.
// Per row: bytes nginx sent for the archive and its control file, requests,
// whether the result is byte-identical, wall time and koru-cli's peak memory,
// beside a full download, with nginx's default, with max_ranges 1 (the whole
// file for several ranges) and with a 10 MB/s limit; then the seed scan's CPU
// time in process, and the zsync client itself on the same pair, on loopback
// and at 10 MB/s, where it is installed.
// Needs nginx, zip and zsyncmake.
#include "ChildRun.h"
#include "Median.h"
#include "support/CopyTree.h"
#include "support/DeltaFiles.h"
#include "support/NginxServer.h"
#include "support/TestVantoHome.h"
#include "update/delta/DeltaScan.h"
#include "update/delta/ZsyncControl.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>

namespace {

QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Only a digest of an archive is held: a child forked from this process
// counts the parent's memory in its peak until it execs.
QByteArray Digest(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) ? hash.result() : QByteArray();
}

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Bytes of the bodies nginx sent for files/vanto.zip*, and how many requests,
// from its access log in the combined format.
struct Sent {
    qint64 bytes = 0;
    int requests = 0;
};

Sent ArchiveTraffic(const QString& log) {
    Sent sent;
    for (const QByteArray& line : Read(log).split('\n')) {
        const QList<QByteArray> quoted = line.split('"');
        if (quoted.size() < 3 || !quoted[1].contains("/files/vanto.zip"))
            continue;
        const QList<QByteArray> after = quoted[2].trimmed().split(' ');
        sent.bytes += after.value(1).toLongLong();
        ++sent.requests;
    }
    return sent;
}

void PrintRow(const char* name, const Sent& sent, qint64 newSize, const bench::Run& run,
              bool identical) {
    std::printf("%-30s %12lld %6.1f%% %9d %9s %9.2f %9.1f\n", name, sent.bytes,
                100.0 * double(sent.bytes) / double(newSize), sent.requests,
                identical ? "yes" : "NO", run.seconds, run.peakMiB);
    std::fflush(stdout);
}

struct Row {
    const char* name;
    const char* directives;
    bool seed;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir work;
    const QString dir = work.path();
    if (!DeltaFiles::MakeArchives(dir, qint64(175) * 1000 * 1000, 120) ||
        !QFile::rename(dir + QStringLiteral("/new.zip"), dir + QStringLiteral("/vanto.zip")) ||
        !DeltaFiles::MakeControl(dir, QStringLiteral("vanto.zip"))) {
        std::fprintf(stderr, "needs zip and zsyncmake\n");
        return 1;
    }
    const QString oldZip = dir + QStringLiteral("/old.zip");
    const QByteArray newArchive = Digest(dir + QStringLiteral("/vanto.zip"));
    const qint64 newSize = QFileInfo(dir + QStringLiteral("/vanto.zip")).size();
    const qint64 control = QFileInfo(dir + QStringLiteral("/vanto.zip.zsync")).size();
    std::printf("old archive %lld bytes, new archive %lld bytes, control file %lld bytes\n",
                QFileInfo(oldZip).size(), newSize, control);

    const TestVantoHome home;
    QTemporaryDir published;
    CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
    QFile::remove(published.filePath(QStringLiteral("files/vanto.zip")));
    QFile::copy(dir + QStringLiteral("/vanto.zip"),
                published.filePath(QStringLiteral("files/vanto.zip")));
    QFile::copy(dir + QStringLiteral("/vanto.zip.zsync"),
                published.filePath(QStringLiteral("files/vanto.zip.zsync")));
    qputenv("KORU_HOME", QFile::encodeName(home.path()));
    const QString target = home.path() + QStringLiteral("/vanto-update.zip");
    const QString record =
        QFile::decodeName(qgetenv("XDG_STATE_HOME")) + QStringLiteral("/koru/last-archive");

    const Row rows[] = {
        {"full", "", false},
        {"delta", "", true},
        {"delta, max_ranges 1", "max_ranges 1;", true},
        {"full, 10 MB/s", "limit_rate 10000000;", false},
        {"delta, 10 MB/s", "limit_rate 10000000;", true},
        {"delta, max_ranges 1, 10 MB/s", "max_ranges 1; limit_rate 10000000;", true}};
    std::printf("%-30s %12s %7s %9s %9s %9s %9s\n", "run", "bytes sent", "of new", "requests",
                "identical", "wall s", "peak MiB");
    for (const Row& row : rows) {
        const QString log = dir + QStringLiteral("/access.log");
        QFile::remove(log);
        NginxServer nginx(
            published.path(), {},
            QStringLiteral("access_log %1;\n    %2").arg(log, QString::fromLatin1(row.directives)));
        qputenv("KORU_SERVER", nginx.hostAndPort());
        QFile::remove(target);
        QFile::remove(record); // no remembered archive: the seed is the target or nothing
        if (row.seed)
            QFile::copy(oldZip, target);
        ::sync();
        const bench::Run run =
            bench::Measure({QStringLiteral(KORU_CLI), QStringLiteral("--yes"),
                            QStringLiteral("check"), QStringLiteral("vanto-update"), target});
        // nginx writes its log as each request ends; it is complete once koru-cli has exited.
        const Sent sent = ArchiveTraffic(log);
        PrintRow(row.name, sent, newSize, run, run.status == 0 && Digest(target) == newArchive);
    }

    ZsyncControl table;
    if (!table.Read(Read(dir + QStringLiteral("/vanto.zip.zsync"))).isEmpty())
        return 1;
    std::vector<double> cpu;
    qint64 known = 0;
    for (int i = 0; i < 3; ++i) {
        const double start = CpuSeconds();
        DeltaScan scan(table, oldZip);
        scan.Run();
        cpu.push_back(CpuSeconds() - start);
        known = scan.KnownBytes();
    }
    std::printf("seed scan: %.2f s of CPU (median of 3), %.1f %% of the new archive found\n",
                bench::Median(cpu), 100.0 * double(known) / double(newSize));

    const QString zsync = QStandardPaths::findExecutable(QStringLiteral("zsync"));
    if (zsync.isEmpty())
        return 0;
    const char* const zsyncRows[][2] = {{"zsync client", ""},
                                        {"zsync client, 10 MB/s", "limit_rate 10000000;"}};
    for (const auto& [name, directives] : zsyncRows) {
        const QString log = dir + QStringLiteral("/access.log");
        QFile::remove(log);
        NginxServer nginx(
            published.path(), {},
            QStringLiteral("access_log %1;\n    %2").arg(log, QString::fromLatin1(directives)));
        const QString out = dir + QStringLiteral("/zsync-out.zip");
        QFile::remove(out);
        const bench::Run run = bench::Measure({zsync, QStringLiteral("-q"), QStringLiteral("-i"),
                                               oldZip, QStringLiteral("-o"), out,
                                               QStringLiteral("http://%1/files/vanto.zip.zsync")
                                                   .arg(QString::fromLatin1(nginx.hostAndPort()))});
        const Sent sent = ArchiveTraffic(log);
        PrintRow(name, sent, newSize, run, run.status == 0 && Digest(out) == newArchive);
    }
    return 0;
}
