// The switch keyword removal of the check on large switch files: 1 MB made of
// the keyword alone (every 12 bytes removed) and 1 MB without it. Prints the
// median of 11 runs of each; the work grows with the text's length only.
#include "update/formats/VersionFiles.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double MedianMs(const QByteArray& text) {
    std::vector<double> runs;
    for (int i = 0; i < 11; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QByteArray kept = VersionFiles::WithoutKillSwitch(text);
        runs.push_back(double(clock.nsecsElapsed()) / 1e6);
        if (kept.size() > text.size())
            std::printf("wrong result\n");
    }
    std::sort(runs.begin(), runs.end());
    return runs[5];
}

} // namespace

int main() {
    const qsizetype size = 1 << 20;
    QByteArray keywords;
    while (keywords.size() < size)
        keywords += keywords.size() % 24 ? "killSwitchOn" : "KILLSWITCHON";
    const QByteArray plain(size, 'k');
    for (int kb : {256, 1024}) {
        std::printf("%4d KB of keywords: %7.2f ms   %4d KB without: %7.2f ms\n", kb,
                    MedianMs(keywords.left(kb * 1024)), kb, MedianMs(plain.left(kb * 1024)));
    }
    return 0;
}
