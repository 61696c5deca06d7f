// What scanning a seed costs: a 100 MB seed against the zsync control file
// of a target that keeps some 60-70 % of it, moved to other offsets, and
// replaces the rest. CPU time of the whole scan (median of 3), the longest
// slice of Step's default budget in CPU and wall time (how long the event
// loop waits at most), what was found, the range plan it leads to, and the
// scans' peak memory. Needs zsyncmake.
#include "Median.h"
#include "update/delta/DeltaScan.h"
#include "update/delta/RangePlan.h"
#include "update/delta/ZsyncControl.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

constexpr qint64 seedBytes = qint64(100) << 20;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QByteArray Random(QRandomGenerator& random, qint64 size) {
    QByteArray bytes(size, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

long PeakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

} // namespace

int main() {
    QTemporaryDir dir;
    const QString seedPath = dir.filePath(QStringLiteral("old.zip"));
    const QString targetPath = dir.filePath(QStringLiteral("new.zip"));
    qint64 keptBytes = 0;
    {
        // The seed cut into pieces of 100 KB to 2 MB, as the files of an
        // archive; the target has them in another order, three in ten
        // replaced by new bytes of another length.
        QRandomGenerator random(17);
        const QByteArray seed = Random(random, seedBytes);
        QList<QByteArray> pieces;
        keptBytes = 0;
        for (qint64 at = 0; at < seedBytes;) {
            const qint64 size = std::min<qint64>(random.bounded(100000, 2000000), seedBytes - at);
            const bool kept = random.bounded(10) < 7;
            pieces.append(kept ? seed.mid(at, size) : Random(random, size + random.bounded(4096)));
            keptBytes += kept ? size : 0;
            at += size;
        }
        std::shuffle(pieces.begin(), pieces.end(), random);
        const QByteArray target = pieces.join();
        if (!Write(seedPath, seed) || !Write(targetPath, target))
            return std::fprintf(stderr, "cannot write the files\n"), 1;
    }
    QProcess zsyncmake;
    zsyncmake.setWorkingDirectory(dir.path());
    zsyncmake.start(
        QStringLiteral("zsyncmake"),
        {QStringLiteral("-o"), QStringLiteral("new.zip.zsync"), QStringLiteral("new.zip")});
    if (!zsyncmake.waitForFinished(300000) || zsyncmake.exitCode() != 0)
        return std::fprintf(stderr, "zsyncmake failed\n"), 1;
    QFile controlFile(dir.filePath(QStringLiteral("new.zip.zsync")));
    ZsyncControl control;
    if (!controlFile.open(QIODevice::ReadOnly) || !control.Read(controlFile.readAll()).isEmpty())
        return std::fprintf(stderr, "control file unreadable\n"), 1;
    controlFile.close();
    // The peak from making the files is not the scan's: start counting anew.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    const bool peakReset = clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
    clearRefs.close();

    std::vector<double> cpu;
    double longestSlice = 0;
    double longestSliceCpu = 0;
    std::vector<qint64> offsets;
    qint64 knownBytes = 0;
    for (int trial = 0; trial < 3; ++trial) {
        DeltaScan scan(control, seedPath);
        const double start = CpuSeconds();
        QElapsedTimer slice;
        bool done = false;
        while (!done) {
            slice.start();
            const double cpuBefore = CpuSeconds();
            done = scan.Step();
            longestSlice = std::max(longestSlice, double(slice.nsecsElapsed()) / 1e6);
            longestSliceCpu = std::max(longestSliceCpu, (CpuSeconds() - cpuBefore) * 1e3);
        }
        cpu.push_back(CpuSeconds() - start);
        offsets = scan.SeedOffsets();
        knownBytes = scan.KnownBytes();
    }
    const RangePlan plan(offsets, control.Blocksize(), control.Length());
    std::printf("control: Blocksize %lld, Hash-Lengths %d,%d,%d, %lld blocks\n",
                static_cast<long long>(control.Blocksize()), control.SeqMatches(),
                control.RsumBytes(), control.ChecksumBytes(),
                static_cast<long long>(control.BlockCount()));
    std::printf("scan of the 100 MB seed: %.3f s CPU (median of 3; target at most 1.5 s)\n",
                bench::Median(cpu));
    std::printf("longest Step() slice: %.1f ms of CPU, %.1f ms of wall time\n", longestSliceCpu,
                longestSlice);
    std::printf("kept from the seed: %.1f %% of the target\n",
                100.0 * double(keptBytes) / double(control.Length()));
    std::printf("known: %.1f %% of the target; plan: %lld requests, %.1f MB to fetch\n",
                100.0 * double(knownBytes) / double(control.Length()),
                static_cast<long long>(plan.Requests().size()), double(plan.FetchBytes()) / 1e6);
    std::printf("peak memory of the scans: %.1f MiB%s\n", double(PeakKiB()) / 1024,
                peakReset ? "" : " (of the whole run: the peak could not be reset)");
    return 0;
}
