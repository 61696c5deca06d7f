// The sample server (as its own koru-sample-server process) against nginx on
// the same tree, both on loopback ports of their own: 200 parallel curl
// clients making 4,000 requests of a 1 MB file, then one 100 MB download.
// Requests per second, throughput, and each server's peak memory (VmHWM);
// alternating trials, medians. Exits 1 when a target is missed.
#include "Median.h"
#include "support/NginxServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int clients = 200;
constexpr int requests = 4000;
constexpr qint64 loadSize = 1024 * 1024;
constexpr qint64 bigSize = 100 * 1024 * 1024;
constexpr int trials = 3;

// koru-sample-server as a publisher runs it; the first line it prints names the port.
class SampleProcess {
public:
    explicit SampleProcess(const QString& root) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(KORU_SAMPLE_SERVER), {root});
        if (!process_.waitForReadyRead(10000))
            return;
        const QByteArray line = process_.readLine().trimmed();
        port_ = std::uint16_t(line.mid(line.lastIndexOf(':') + 1).chopped(1).toUInt());
    }
    ~SampleProcess() {
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    std::uint16_t port() const { return port_; }
    qint64 pid() const { return process_.processId(); }

private:
    QProcess process_;
    std::uint16_t port_ = 0;
};

// VmHWM of a process, in MiB.
double PeakMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

struct Run {
    int ok = 0; // transfers that answered 200 with every byte
    double seconds = 0;
};

// Runs curl with the given arguments; every transfer writes "CODE SIZE".
Run Curl(const QStringList& arguments, qint64 expectedSize) {
    QProcess curl;
    curl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    curl.start(QStringLiteral("curl"),
               QStringList{QStringLiteral("-s"), QStringLiteral("--no-progress-meter"),
                           QStringLiteral("-w"),
                           QStringLiteral("%{http_code} %{size_download}\\n")} +
                   arguments);
    if (!curl.waitForFinished(300000)) {
        curl.kill();
        curl.waitForFinished(5000);
    }
    Run run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    for (const QByteArray& line : curl.readAllStandardOutput().split('\n'))
        run.ok += line == "200 " + QByteArray::number(expectedSize) ? 1 : 0;
    return run;
}

Run Load(const QString& work, std::uint16_t port) {
    const QString config = work + QStringLiteral("/load-%1.curl").arg(port);
    QFile file(config);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    const QByteArray entry = "url = \"http://127.0.0.1:" + QByteArray::number(port) +
                             "/files/load.bin\"\noutput = \"/dev/null\"\n";
    for (int i = 0; i < requests; ++i)
        file.write(entry);
    file.close();
    return Curl({QStringLiteral("--parallel"), QStringLiteral("--parallel-max"),
                 QString::number(clients), QStringLiteral("-K"), config},
                loadSize);
}

Run Download(std::uint16_t port) {
    return Curl({QStringLiteral("-o"), QStringLiteral("/dev/null"),
                 QStringLiteral("http://127.0.0.1:%1/files/big.bin").arg(port)},
                bigSize);
}

void WriteFile(const QString& path, qint64 size) {
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    QByteArray block(1024 * 1024, '\0');
    for (qsizetype i = 0; i < block.size(); ++i)
        block[i] = char(i * 7 + i / 251);
    for (qint64 left = size; left > 0; left -= block.size())
        file.write(block.constData(), std::min<qint64>(left, block.size()));
}

struct Figures {
    std::vector<double> seconds;
    int failures = 0;
    double peakMiB = 0;
};

// Alternating trials of one measurement on fresh server processes.
void Measure(const QString& root, const std::function<Run(std::uint16_t)>& measure, int expectedOk,
             Figures& sample, Figures& nginx) {
    SampleProcess ours(root);
    NginxServer theirs(root);
    for (int trial = 0; trial < trials; ++trial) {
        for (Figures* figures : {&sample, &nginx}) {
            const std::uint16_t port = figures == &sample ? ours.port() : theirs.port();
            const Run run = measure(port);
            figures->seconds.push_back(run.seconds);
            figures->failures += expectedOk - run.ok;
        }
    }
    sample.peakMiB = PeakMiB(ours.pid());
    nginx.peakMiB = PeakMiB(theirs.pid());
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir tree;
    QTemporaryDir work;
    const QString root = tree.path();
    QDir(root).mkpath(QStringLiteral("files"));
    WriteFile(root + QStringLiteral("/files/load.bin"), loadSize);
    WriteFile(root + QStringLiteral("/files/big.bin"), bigSize);

    Figures loadOurs, loadTheirs, bigOurs, bigTheirs;
    Measure(
        root, [&](std::uint16_t port) { return Load(work.path(), port); }, requests, loadOurs,
        loadTheirs);
    Measure(root, Download, 1, bigOurs, bigTheirs);

    const double rpsOurs = requests / bench::Median(loadOurs.seconds);
    const double rpsTheirs = requests / bench::Median(loadTheirs.seconds);
    const double bigMB = double(bigSize) / 1e6;
    const double mbpsOurs = bigMB / bench::Median(bigOurs.seconds);
    const double mbpsTheirs = bigMB / bench::Median(bigTheirs.seconds);
    std::printf("%d parallel clients, %d requests of a 1 MB file, median of %d trials\n", clients,
                requests, trials);
    for (const auto& [name, figures, rps] : {std::tuple{"sample server", &loadOurs, rpsOurs},
                                             std::tuple{"nginx", &loadTheirs, rpsTheirs}})
        std::printf("  %-13s %6.0f requests/s (%5.0f MB/s), %d failed, peak memory %.1f MiB\n",
                    name, rps, rps * double(loadSize) / 1e6, figures->failures, figures->peakMiB);
    std::printf("one 100 MB download, median of %d trials\n", trials);
    for (const auto& [name, figures, mbps] : {std::tuple{"sample server", &bigOurs, mbpsOurs},
                                              std::tuple{"nginx", &bigTheirs, mbpsTheirs}})
        std::printf("  %-13s %6.3f s (%5.0f MB/s), %d failed, peak memory %.1f MiB\n", name,
                    bench::Median(figures->seconds), mbps, figures->failures, figures->peakMiB);

    const double rpsRatio = rpsOurs / rpsTheirs;
    const double mbpsRatio = mbpsOurs / mbpsTheirs;
    const double peak = std::max(loadOurs.peakMiB, bigOurs.peakMiB);
    const int failures = loadOurs.failures + bigOurs.failures;
    const bool met = failures == 0 && rpsRatio >= 0.8 && mbpsRatio >= 0.8 && peak > 0 && peak < 30;
    std::printf("sample server / nginx: requests/s %.2f, 100 MB throughput %.2f (targets at least "
                "0.8); peak memory %.1f MiB (target under 30); %d failed: %s\n",
                rpsRatio, mbpsRatio, peak, failures, met ? "targets met" : "TARGET MISSED");
    return met ? 0 : 1;
}
