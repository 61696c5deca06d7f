// Wall time of a whole "Check for available updates" (four transfers) against
// nginx on loopback publishing the sample tree: median over 20 checks.
#include "support/CopyTree.h"
#include "support/NginxServer.h"
#include "support/TestVantoHome.h"
#include "update/windows/Forms.h"
#include "update/windows/UpdateState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A VANTO folder with 02.13 installed, and no name server asked.
    const TestVantoHome home;
    QTemporaryDir published;
    CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
    NginxServer nginx(published.path());
    qputenv("KORU_SERVER", nginx.hostAndPort());

    Forms forms;
    forms.KORU2.Show();
    constexpr int runs = 20;
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        forms.KORU2.mnuCheckForUpdates.Click();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (forms.KORU2.FailedTransfers() != 0 || !forms.KORU2.mnuAvailableDownload(0).Enabled()) {
            std::fprintf(stderr, "check %d failed:\n%s", run,
                         forms.KORU2.SystemMessagesText1.Text().constData());
            return 1;
        }
    }
    std::sort(ms.begin(), ms.end());
    std::printf("full check against nginx on loopback, %d runs\n", runs);
    std::printf("  median %.2f ms, fastest %.2f ms, slowest %.2f ms\n", ms[runs / 2], ms.front(),
                ms.back());
    return 0;
}
