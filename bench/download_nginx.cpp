// "koru-cli --yes check vanto-update FILE" against curl fetching the same five
// files into files, both from nginx on loopback, alternating, medians: wall
// time and peak memory for archives of 100 MB and 1 GB (sparse files, so the
// server reads no disk). KORU flushes the archive to disk before it renames
// it, so curl is also timed with a flush of its archive.
//   download_nginx            the 100 MB and 1 GB comparison
//   download_nginx --huge     one 4.5 GiB download, checked for size (64-bit lengths)
//   download_nginx --tls      the comparison over HTTPS (a CA made for the run)
#include "ChildRun.h"
#include "Median.h"
#include "support/CopyTree.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"
#include "support/TestVantoHome.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

double Flush(const QString& path) {
    QElapsedTimer timer;
    timer.start();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ::fdatasync(fd);
    ::close(fd);
    return double(timer.nsecsElapsed()) / 1e9;
}

void MakeSparse(const QString& path, qint64 size) {
    QFile::remove(path);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.resize(size);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool huge = argc > 1 && QByteArray(argv[1]) == "--huge";
    const bool tls = argc > 1 && QByteArray(argv[1]) == "--tls";
    const TestVantoHome home;
    QTemporaryDir published;
    CopyTree(QStringLiteral(KORU_SAMPLE_DIR "/server"), published.path());
    std::optional<TestCertificates> certificates;
    NginxServer::Tls served;
    if (tls) {
        certificates.emplace();
        const TestCertificates::Files files = certificates->Make(TestCertificates::Kind::Trusted);
        served = {files.certificate, files.key};
        qputenv("SSL_CERT_FILE", QFile::encodeName(certificates->CaFile()));
    }
    NginxServer nginx(published.path(), served);
    const QString scheme = tls ? QStringLiteral("https") : QStringLiteral("http");
    const QString server =
        scheme + QStringLiteral("://") + QString::fromLatin1(nginx.hostAndPort());
    const QString archive = published.filePath(QStringLiteral("files/vanto.zip"));
    const QString koruOut = home.path() + QStringLiteral("/vanto-update.zip");
    const QString curlOut = home.path() + QStringLiteral("/curl-vanto.zip");
    qputenv("KORU_HOME", QFile::encodeName(home.path()));
    qputenv("KORU_SERVER", server.toLatin1());

    const QStringList koru = {QStringLiteral(KORU_CLI), QStringLiteral("--yes"),
                              QStringLiteral("check"), QStringLiteral("vanto-update"), koruOut};
    QStringList curl = {QStringLiteral("curl"), QStringLiteral("-sf")};
    if (tls)
        curl << QStringLiteral("--cacert") << certificates->CaFile();
    for (const char* path : {"files/koru/killswitch.txt", "files/koru/vanto_ver.txt",
                             "files/koru/koru_helplinks.txt", "files/koru/otherinfo.txt"}) {
        curl << QStringLiteral("-o")
             << home.path() + QStringLiteral("/curl-") +
                    QFileInfo(QString::fromLatin1(path)).fileName()
             << QStringLiteral("%1/%2").arg(server, QString::fromLatin1(path));
    }
    curl << QStringLiteral("-o") << curlOut << QStringLiteral("%1/files/vanto.zip").arg(server);

    if (huge) {
        const qint64 size = (qint64(9) << 29) + 12345; // 4.5 GiB and a bit
        MakeSparse(archive, size);
        const bench::Run run = bench::Measure(koru);
        const qint64 saved = QFileInfo(koruOut).size();
        std::printf(
            "4.5 GiB archive (%lld bytes): exit %d, saved %lld bytes, %.1f s, peak %.1f MiB\n",
            size, run.status, saved, run.seconds, run.peakMiB);
        QFile::remove(koruOut);
        return run.status == 0 && saved == size ? 0 : 1;
    }

    std::printf("%-8s %5s %10s %10s %10s %8s %10s %10s %10s\n", "archive", "runs", "KORU s",
                "curl s", "curl+sync", "ratio", "ratio+sync", "KORU MiB", "curl MiB");
    for (const auto& [label, size, runs] : {std::tuple{"100 MB", qint64(100) * 1000 * 1000, 7},
                                            std::tuple{"1 GB", qint64(1000) * 1000 * 1000, 5}}) {
        MakeSparse(archive, size);
        std::vector<double> koruTimes, curlTimes, curlSynced, koruPeaks, curlPeaks;
        for (int i = 0; i < runs; ++i) {
            QFile::remove(koruOut);
            QFile::remove(curlOut);
            ::sync();
            const bench::Run k = bench::Measure(koru);
            const bench::Run c = bench::Measure(curl);
            const double flush = Flush(curlOut);
            if (k.status != 0 || c.status != 0 || QFileInfo(koruOut).size() != size ||
                QFileInfo(curlOut).size() != size) {
                std::fprintf(stderr, "run %d failed: koru-cli %d, curl %d\n", i, k.status,
                             c.status);
                return 1;
            }
            koruTimes.push_back(k.seconds);
            curlTimes.push_back(c.seconds);
            curlSynced.push_back(c.seconds + flush);
            koruPeaks.push_back(k.peakMiB);
            curlPeaks.push_back(c.peakMiB);
        }
        const double koruTime = bench::Median(koruTimes);
        std::printf("%-8s %5d %10.3f %10.3f %10.3f %8.2f %10.2f %10.1f %10.1f\n", label, runs,
                    koruTime, bench::Median(curlTimes), bench::Median(curlSynced),
                    koruTime / bench::Median(curlTimes), koruTime / bench::Median(curlSynced),
                    *std::max_element(koruPeaks.begin(), koruPeaks.end()),
                    *std::max_element(curlPeaks.begin(), curlPeaks.end()));
        std::fflush(stdout);
    }
    QFile::remove(koruOut);
    QFile::remove(curlOut);
    return 0;
}
