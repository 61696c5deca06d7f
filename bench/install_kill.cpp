// What random kills do to an install: SIGKILL at a random instant of the real
// koru-cli install of a 2,000-file archive, 200 times. The next start of
// koru-cli (any command; here plugins) settles the folder, which must then be
// VANTO 02.13's or 02.14's byte for byte, modes included (.koru/ and the
// check's own files left out). Reports how many ended old, new, or
// anything else, which must be 0. SIGKILL tests crash consistency, not power
// loss; the README gives the flush order for that.
#include "ChildRun.h"
#include "InstallTree.h"
#include "support/TreeSnapshot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {

// KORU's own, and the check's scratch files and help-links stamp.
const QStringList skipped{QStringLiteral(".koru"), QStringLiteral("files/temp"),
                          QStringLiteral("files/koru/koru_helplinks.ver")};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int kills = 200;
    bench::InstallTree tree(2'000, 2'000);
    if (!tree.ready)
        return 1;
    const QStringList install{QStringLiteral("--yes"), QStringLiteral("install"), tree.archive};
    const TreeSnapshot older = SnapshotOf(tree.pristine, skipped);
    const QString whole = tree.Fresh();
    const bench::Run full = bench::Measure(QStringList{QStringLiteral(KORU_CLI)} + install);
    const TreeSnapshot newer = SnapshotOf(whole, skipped);
    if (full.status != 0 || older == newer) {
        std::fprintf(stderr, "the uninterrupted install failed (exit %d)\n", full.status);
        return 1;
    }
    int ends[3] = {}; // old, new, anything else
    for (int kill = 0; kill < kills; ++kill) {
        const QString folder = tree.Fresh();
        QProcess cli;
        cli.setStandardOutputFile(QProcess::nullDevice());
        cli.setStandardErrorFile(QProcess::nullDevice());
        cli.start(QStringLiteral(KORU_CLI), install);
        cli.waitForStarted();
        // Past the uninterrupted run's length too, since a run varies on a busy machine.
        QThread::usleep(QRandomGenerator::global()->bounded(quint64(full.seconds * 1.5e6)));
        cli.kill();
        cli.waitForFinished();
        const bench::Run settled =
            bench::Measure({QStringLiteral(KORU_CLI), QStringLiteral("plugins")});
        const TreeSnapshot now = SnapshotOf(folder, skipped);
        const int end = settled.status != 0 ? 2 : now == older ? 0 : now == newer ? 1 : 2;
        ++ends[end];
        if (end == 2)
            std::fprintf(stderr, "kill %d left %s neither old nor new\n", kill, qPrintable(folder));
        else
            QDir(folder).removeRecursively();
    }
    std::printf("%d SIGKILLs at random instants of koru-cli install (%.2f s uninterrupted), "
                "2000 files:\nold %d, new %d, anything else %d (must be 0)\n",
                kills, full.seconds, ends[0], ends[1], ends[2]);
    return ends[2] == 0 ? 0 : 1;
}
