// The cost of a signed release: "koru-cli --yes check help-links-update
// vanto-update FILE" (the check, the help links and an archive of 20 MB of
// random bytes) against stock nginx on loopback, from a VANTO folder without a
// key and from one trusting the key the tree was published with (koru-publish,
// a key made for the run by minisign -G -W), alternating, medians of 15. Each
// run saves to a fresh target and finds the help links on offer again; one
// published list serves every run, so the serial never grows. With
// "--rate 50m" nginx sends at most that many bytes a second (limit_rate),
// as a line slower than loopback does.
#include "ChildRun.h"
#include "Median.h"
#include "support/CopyTree.h"
#include "support/Minisign.h"
#include "support/NginxServer.h"
#include "support/TestFiles.h"
#include "support/TestVantoHome.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 archiveSize = 20 * 1000 * 1000;
constexpr int runs = 15;
const QByteArray verifiedLine = "Release list verified: serial 1, valid until ";

// Random bytes, so nothing on the way can shortcut the download.
bool WriteRandom(const QString& path, qint64 size) {
    std::vector<quint32> words(std::size_t(size / 4) + 1);
    QRandomGenerator::global()->fillRange(words.data(), qsizetype(words.size()));
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(reinterpret_cast<const char*>(words.data()), size) == size;
}

bool Publish(const QString& tree, const QString& key) {
    QProcess publish;
    publish.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    publish.start(QStringLiteral(KORU_PUBLISH), {tree, QStringLiteral("--key"), key});
    return publish.waitForFinished(60000) && publish.exitStatus() == QProcess::NormalExit &&
           publish.exitCode() == 0;
}

struct Setup {
    const char* label;
    bool trusted;
    QString home;
    std::vector<double> seconds;
    double peakMiB = 0;
    QByteArray verified;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (!Minisign::Installed()) {
        std::fprintf(stderr, "minisign is not installed (scripts/install-deps)\n");
        return 1;
    }
    const TestVantoHome environment; // no proxy, a state folder of its own
    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("server"));
    CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), tree);
    const QString key = work.filePath(QStringLiteral("update"));
    if (!WriteRandom(tree + QStringLiteral("/files/vanto.zip"), archiveSize) ||
        !Minisign::MakeKeys(key) || !Publish(tree, key + QStringLiteral(".key"))) {
        std::fprintf(stderr, "publishing the tree failed\n");
        return 1;
    }

    Setup setups[] = {{"no key", false, work.filePath(QStringLiteral("plain")), {}, 0, {}},
                      {"key", true, work.filePath(QStringLiteral("signed")), {}, 0, {}}};
    for (const Setup& setup : setups)
        CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/vanto"), setup.home);
    if (!QFile::copy(key + QStringLiteral(".pub"),
                     setups[1].home + QStringLiteral("/files/koru/update.pub"))) {
        std::fprintf(stderr, "installing the public key failed\n");
        return 1;
    }

    const QStringList arguments = app.arguments();
    const qsizetype rate = arguments.indexOf(QStringLiteral("--rate"));
    const QString rules = rate > 0 && rate + 1 < arguments.size()
                              ? QStringLiteral("limit_rate %1;").arg(arguments[rate + 1])
                              : QString();
    NginxServer nginx(tree, {}, rules);
    qputenv("KORU_SERVER", nginx.hostAndPort());
    const QString log = work.filePath(QStringLiteral("koru-cli.log"));
    for (int run = 0; run < runs; ++run) {
        for (Setup& setup : setups) {
            // Without the stamp of the last run the help links are on offer again.
            const QString stamp = setup.home + QStringLiteral("/files/koru/koru_helplinks.ver");
            const QString target = work.filePath(QStringLiteral("vanto-update.zip"));
            QFile::remove(stamp);
            QFile::remove(target);
            ::sync();
            qputenv("KORU_HOME", QFile::encodeName(setup.home));
            const bench::Run measured = bench::Measure(
                {QStringLiteral(KORU_CLI), QStringLiteral("--yes"), QStringLiteral("check"),
                 QStringLiteral("help-links-update"), QStringLiteral("vanto-update"), target},
                log);
            const QByteArray out = ReadFile(log);
            const qsizetype verified = out.indexOf(verifiedLine);
            if (measured.status != 0 || QFileInfo(target).size() != archiveSize ||
                !QFile::exists(stamp) || (verified >= 0) != setup.trusted) {
                std::fprintf(stderr, "run %d with %s failed (exit %d):\n%s\n", run, setup.label,
                             measured.status, out.constData());
                return 1;
            }
            if (setup.trusted)
                setup.verified = out.mid(verified, out.indexOf('\r', verified) - verified);
            setup.seconds.push_back(measured.seconds);
            setup.peakMiB = std::max(setup.peakMiB, measured.peakMiB);
        }
    }
    QFile::remove(work.filePath(QStringLiteral("vanto-update.zip")));

    std::printf("check, help links and a %lld MB archive from nginx on loopback%s, %d "
                "alternating runs each\n",
                archiveSize / 1000000, qPrintable(rules.isEmpty() ? QString() : u' ' + rules),
                runs);
    std::printf("%-8s %10s %10s %10s %10s\n", "setup", "median s", "fastest", "slowest",
                "peak MiB");
    for (const Setup& setup : setups) {
        const auto [fastest, slowest] =
            std::minmax_element(setup.seconds.begin(), setup.seconds.end());
        std::printf("%-8s %10.3f %10.3f %10.3f %10.1f\n", setup.label, bench::Median(setup.seconds),
                    *fastest, *slowest, setup.peakMiB);
    }
    std::printf("%s\n", setups[1].verified.constData());
    std::printf("ratio signed/unsigned %.2f (target at most 1.3)\n",
                bench::Median(setups[1].seconds) / bench::Median(setups[0].seconds));
    return 0;
}
