// What installing costs: koru-cli install of an archive of about 100 MB with
// 2,000 files (the check, the hash, the vetting, staging, the swap and its
// flushes) against its fair peer, unzip -o -q into a copy of the same folder
// followed by sync, which is neither atomic nor durable; then koru-cli
// restore. Alternating runs, medians; peak memory of koru-cli.
#include "ChildRun.h"
#include "InstallTree.h"
#include "Median.h"

#include <QCoreApplication>
#include <algorithm>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    constexpr int runs = 3;
    bench::InstallTree tree(2'000, 50'000);
    if (!tree.ready)
        return 1;
    std::vector<double> unzip, install, restore;
    double peakMiB = 0;
    for (int run = 0; run < runs; ++run) {
        const QString peer = tree.Fresh();
        const QString vanto = tree.Fresh();
        ::sync();
        const bench::Run unzipped = bench::Measure(
            {QStringLiteral("sh"), QStringLiteral("-c"),
             QStringLiteral("unzip -o -q \"$0\" -d \"$1\" && sync"), tree.archive, peer});
        const bench::Run installed =
            bench::Measure({QStringLiteral(KORU_CLI), QStringLiteral("--yes"),
                            QStringLiteral("install"), tree.archive});
        const bench::Run restored = bench::Measure(
            {QStringLiteral(KORU_CLI), QStringLiteral("--yes"), QStringLiteral("restore")});
        if (unzipped.status != 0 || installed.status != 0 || restored.status != 0) {
            std::fprintf(stderr, "run %d failed: unzip %d, install %d, restore %d\n", run,
                         unzipped.status, installed.status, restored.status);
            return 1;
        }
        unzip.push_back(unzipped.seconds);
        install.push_back(installed.seconds);
        restore.push_back(restored.seconds);
        peakMiB = std::max({peakMiB, installed.peakMiB, restored.peakMiB});
        QDir(peer).removeRecursively();
        QDir(vanto).removeRecursively();
    }
    const double peerSeconds = bench::Median(unzip);
    const double installSeconds = bench::Median(install);
    std::printf("archive %.1f MB, 2000 files; medians of %d alternating runs\n",
                double(QFileInfo(tree.archive).size()) / 1e6, runs);
    std::printf("unzip -o -q + sync %8.2f s\nkoru-cli install   %8.2f s  (%.2fx; target at most "
                "1.5x)\nkoru-cli restore   %8.2f s  (%.2fx the install; target at most 1.0x)\n"
                "peak memory        %8.1f MiB (target at most 30)\n",
                peerSeconds, installSeconds, installSeconds / peerSeconds, bench::Median(restore),
                bench::Median(restore) / installSeconds, peakMiB);
    return 0;
}
