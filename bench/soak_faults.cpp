// Soak under faults: 1,000 checks and then 200 downloads of a 20 MB archive
// by the main window's logic in one process, against a loopback server that
// fails at random per connection (FaultyServer), through the one transfer
// engine. Every run must end either right (the check's files as served, the
// archive byte-identical to the version served) or failed with a reason in
// the log and the old file untouched; anything else is a wrong outcome.
// Also: the peak RSS of the first and the last 100 runs of each kind, and no
// download file left in the target folder that the next download does not
// take up.
//   soak_faults [--seed N] [--checks N] [--downloads N]
#include "support/DialogAnswers.h"
#include "support/FaultyServer.h"
#include "support/TestVantoHome.h"
#include "update/formats/NotFoundRule.h"
#include "update/windows/Forms.h"
#include "update/windows/UpdateState.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <tuple>
#include <vector>

namespace {

constexpr qsizetype archiveSize = 20 * 1000 * 1000;
constexpr int window = 100;     // runs compared at the start and the end
constexpr double flatMiB = 4.0; // what "flat" allows between them

struct Options {
    std::uint64_t seed = 20261207;
    int checks = 1000;
    int downloads = 200;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const QByteArray name = argv[i];
        bool ok = false;
        const qulonglong value = QByteArray(argv[i + 1]).toULongLong(&ok);
        if (!ok)
            return false;
        if (name == "--seed")
            options.seed = value;
        else if (name == "--checks")
            options.checks = int(value);
        else if (name == "--downloads")
            options.downloads = int(value);
        else
            return false;
    }
    return argc % 2 == 1;
}

// VmHWM is reset per run, so each run's own peak can be read.
void ResetPeak() {
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

double StatusMiB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toDouble() /
                   1024;
    }
    return 0;
}

double PeakOf(const std::vector<double>& peaks, std::size_t from, std::size_t to) {
    return peaks.empty() ? 0
                         : *std::max_element(peaks.begin() + std::ptrdiff_t(from),
                                             peaks.begin() + std::ptrdiff_t(to));
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Compared in pieces, so that the comparison adds nothing to the peak.
bool FileEquals(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != bytes.size())
        return false;
    constexpr qsizetype piece = 1 << 20;
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        const QByteArray read = file.read(piece);
        if (read != QByteArrayView(bytes.constData() + at, read.size()) || read.isEmpty())
            return false;
    }
    return true;
}

// KORU's files in `folder`, by name, with their sizes; a kept part's ".info"
// beside it is one with the part.
QMap<QString, qint64> OwnFiles(const QString& folder) {
    QMap<QString, qint64> files;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(QDir::Files | QDir::Hidden)) {
        const QString name = info.fileName();
        const QString part = name.chopped(name.endsWith(QLatin1String(".info")) ? 5 : 0);
        if (name.startsWith(QLatin1String(".koru-")) &&
            (part == name || !dir.exists(part) ||
             !part.startsWith(QLatin1String(".koru-partial-"))))
            files.insert(name, info.size());
    }
    return files;
}

struct Failure {
    QByteArray line;
    QByteArray reason;
};

// The log's failure lines, with their reasons.
QList<Failure> Failures(const QByteArray& log) {
    QList<Failure> failures;
    for (const QByteArray& line : log.split('\n')) {
        const QByteArray text = line.trimmed();
        if (!text.startsWith("TRANSFER FAILED: ") && !text.startsWith("SAVE FAILED: "))
            continue;
        // "PREFIX: path: reason"; a path holds no ": ".
        const qsizetype afterPrefix = text.indexOf(": ") + 2;
        const qsizetype afterPath = text.indexOf(": ", afterPrefix);
        failures.append({text, afterPath < 0 ? QByteArray() : text.mid(afterPath + 2).trimmed()});
    }
    return failures;
}

class Soak {
public:
    Soak(FaultyServer& server, const FaultyServer::Settings& settings, const TestVantoHome& home,
         Forms& forms)
        : server_(server), settings_(settings), home_(home), forms_(forms) {}

    void Check(int run);
    void Download(int run, bool clean);
    int Report(double seconds, double checkSeconds, double downloadSeconds);

    // Each run's peak RSS, and its RSS when it ended.
    std::vector<double> checkPeaks, downloadPeaks, checkEnds, downloadEnds;

private:
    MainForm& main() { return forms_.KORU2; }
    void Wrong(const char* kind, int run, const QByteArray& what, const QByteArray& log);
    // Counts a failed run by its reasons; false when one has none.
    bool CountFailures(const char* kind, const QList<Failure>& failures);
    static bool AllHarmless(const FaultyServer::Served& served);

    FaultyServer& server_;
    const FaultyServer::Settings& settings_;
    const TestVantoHome& home_;
    Forms& forms_;
    QTemporaryDir targets_;
    DialogAnswers answers_;
    QMap<QByteArray, int> outcomes_; // runs
    QMap<QByteArray, int> reasons_;  // failed transfers in the failed runs
    QList<QByteArray> wrong_;
    int resumed_ = 0;
    int versionChanges_ = 0;
    int staleResumes_ = 0;
};

bool Soak::AllHarmless(const FaultyServer::Served& served) {
    return std::all_of(served.faults.begin(), served.faults.end(), FaultyServer::Harmless);
}

void Soak::Wrong(const char* kind, int run, const QByteArray& what, const QByteArray& log) {
    wrong_.append(QByteArray(kind) + ' ' + QByteArray::number(run) + ": " + what +
                  "\n    log: " + QByteArray(log).replace("\r\n", "\n    "));
}

bool Soak::CountFailures(const char* kind, const QList<Failure>& failures) {
    bool reasoned = !failures.isEmpty();
    ++outcomes_[QByteArray(kind) + " failed"];
    for (const Failure& failure : failures) {
        if (failure.reason.isEmpty())
            reasoned = false;
        // One row per reason, whatever port or address it names.
        QByteArray reason = failure.reason;
        reason.replace(server_.hostAndPort(), "SERVER");
        ++reasons_[QByteArray(kind) + ": " + reason];
    }
    return reasoned;
}

void Soak::Check(int run) {
    ResetPeak();
    main().mnuCheckForUpdates.Click();
    checkPeaks.push_back(StatusMiB("VmHWM:"));
    checkEnds.push_back(StatusMiB("VmRSS:"));
    const FaultyServer::Served served = server_.TakeServed();
    const QByteArray log = main().SystemMessagesText1.Text();
    const QList<Failure> failures = Failures(log);
    const QByteArray news = ReadAll(home_.filePath("files/temp/otherinfo.txt"));
    const QByteArray scratch = ReadAll(home_.filePath("files/temp/ver.tmp"));
    const QByteArray& newsServed = settings_.texts["/files/koru/otherinfo.txt"];
    const QByteArray& listServed = settings_.texts["/files/koru/koru_helplinks.txt"];
    // Whatever failed, the files hold what some answer was, never a piece of one.
    if (news != "<missing>" && news != newsServed)
        Wrong("check", run, "news file holds " + news.left(200), log);
    if (scratch != "<missing>" && scratch != listServed && scratch != NotFoundRule::message &&
        scratch != settings_.texts["/files/koru/vanto_ver.txt"])
        Wrong("check", run, "scratch file holds " + scratch.left(200), log);
    if (failures.size() != main().FailedTransfers()) {
        Wrong("check", run,
              QByteArray::number(main().FailedTransfers()) + " failed transfers but " +
                  QByteArray::number(failures.size()) + " failure lines",
              log);
    } else if (failures.isEmpty()) {
        if (!main().mnuAvailableDownload(0).Enabled() || news != newsServed ||
            scratch != listServed)
            Wrong("check", run, "no failure, yet no VANTO offered or files not as served", log);
        else
            ++outcomes_["check succeeded"];
    } else if (!CountFailures("check", failures)) {
        Wrong("check", run, "a failure line without a reason", log);
    } else if (AllHarmless(served)) {
        Wrong("check", run, "failed on answers a client must take", log);
    }
}

void Soak::Download(int run, bool clean) {
    const QString target = targets_.filePath(QStringLiteral("vanto-update.zip"));
    const QByteArray old =
        QByteArray("OLD ARCHIVE " + QByteArray::number(run) + "\n").repeated(300);
    {
        QFile file(target);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(old);
    }
    const QMap<QString, qint64> keptBefore = OwnFiles(targets_.path());
    UpdateState& state = SharedState();
    state.serviceMode = serviceOn;
    state.remoteVersion = 2.14f;
    main().mnuAvailableDownload(0).SetEnabled(true);
    answers_.file = target;
    answers_.answer = vbYes;
    answers_.dialogs.clear();
    answers_.boxes.clear();

    ResetPeak();
    main().mnuAvailableDownload(0).Click();
    downloadPeaks.push_back(StatusMiB("VmHWM:"));
    downloadEnds.push_back(StatusMiB("VmRSS:"));
    const FaultyServer::Served served = server_.TakeServed();
    versionChanges_ += served.versionChanges;
    staleResumes_ += served.staleResumes;
    const QByteArray log = main().SystemMessagesText1.Text();
    const QList<Failure> failures = Failures(log);
    const QMap<QString, qint64> keptAfter = OwnFiles(targets_.path());
    const char* kind = clean ? "final download" : "download";

    if (!keptBefore.isEmpty()) {
        const qint64 kept = keptBefore.first();
        if (served.archiveRanges.isEmpty() || served.archiveRanges.first() != kept)
            Wrong(kind, run,
                  "a kept part of " + QByteArray::number(kept) +
                      " bytes was not taken up (asked from " +
                      QByteArray::number(served.archiveRanges.value(0, -2)) + ")",
                  log);
    }
    if (keptAfter.size() > 1) {
        QByteArray names;
        for (auto it = keptAfter.cbegin(); it != keptAfter.cend(); ++it)
            names +=
                ' ' + QFile::encodeName(it.key()) + " (" + QByteArray::number(it.value()) + ')';
        Wrong(kind, run, "download files left:" + names, log);
    }
    if (clean && !keptAfter.isEmpty())
        Wrong(kind, run, "a download file left after a clean download", log);

    if (log.contains("Done!\r\n") && failures.isEmpty() && main().FailedTransfers() == 0) {
        const int version = served.archiveVersion;
        if (version < 0) {
            Wrong(kind, run, "done without the archive being served", log);
        } else if (FileEquals(target, settings_.archives[std::size_t(version)])) {
            const bool resumed = log.contains("Resuming at ");
            resumed_ += resumed ? 1 : 0;
            ++outcomes_[QByteArray(kind) + " saved byte-identical"];
        } else {
            Wrong(kind, run,
                  FileEquals(target, settings_.archives[std::size_t(1 - version)])
                      ? "saved the version the server no longer served"
                      : "saved bytes that are neither version (" +
                            QByteArray::number(QFileInfo(target).size()) + " bytes)",
                  log);
        }
    } else if (failures.size() != main().FailedTransfers() || failures.isEmpty()) {
        Wrong(kind, run, "neither done nor one failure line per failed transfer", log);
    } else if (!CountFailures(kind, failures)) {
        Wrong(kind, run, "a failure line without a reason", log);
    } else if (ReadAll(target) != old) {
        Wrong(kind, run, "failed, and the old file changed", log);
    } else if (clean || AllHarmless(served)) {
        Wrong(kind, run, "failed on answers a client must take", log);
    }
}

int Soak::Report(double seconds, double checkSeconds, double downloadSeconds) {
    std::printf("\noutcomes of the runs\n");
    for (auto it = outcomes_.cbegin(); it != outcomes_.cend(); ++it)
        std::printf("  %6d  %s\n", it.value(), it.key().constData());
    std::printf("  %6lld  WRONG\n", static_cast<long long>(wrong_.size()));
    std::printf("  (of the downloads saved, %d resumed a kept part; the archive changed %d "
                "times, and %d resumes asked under an old ETag got it whole)\n",
                resumed_, versionChanges_, staleResumes_);
    std::printf("\nfailed transfers by reason\n");
    for (auto it = reasons_.cbegin(); it != reasons_.cend(); ++it)
        std::printf("  %6d  %s\n", it.value(), it.key().constData());

    std::printf("\nfaults served per connection\n");
    const auto totals = server_.Totals();
    for (int fault = 0; fault < FaultyServer::faultKinds; ++fault)
        std::printf("  %6d  %s\n", totals[std::size_t(fault)],
                    FaultyServer::Name(FaultyServer::Fault(fault)));

    bool flat = true;
    std::printf("\nRSS per run, MiB (the server's two archives, 40 MB, included)\n");
    for (const auto& [label, peaks, ends] :
         {std::tuple{"checks", &checkPeaks, &checkEnds},
          std::tuple{"downloads", &downloadPeaks, &downloadEnds}}) {
        if (peaks->empty())
            continue;
        const std::size_t n = peaks->size();
        const std::size_t w = std::min<std::size_t>(window, n);
        const double first = PeakOf(*peaks, 0, w);
        const double last = PeakOf(*peaks, n - w, n);
        flat = flat && last - first <= flatMiB;
        std::printf("  %-9s peak of the first %zu %.1f, of the last %zu %.1f (%+.1f); at the "
                    "end of a run %.1f, then %.1f\n",
                    label, w, first, w, last, last - first, PeakOf(*ends, 0, w),
                    PeakOf(*ends, n - w, n));
    }
    std::printf("  process VmRSS now %.1f MiB; %s\n", StatusMiB("VmRSS:"), flat ? "flat" : "GROWS");
    std::printf("\ntime: %.1f s in all (checks %.1f s, downloads %.1f s)\n", seconds, checkSeconds,
                downloadSeconds);

    for (const QByteArray& wrong : wrong_)
        std::fprintf(stderr, "WRONG %s\n", wrong.constData());
    return wrong_.isEmpty() && flat ? 0 : 1;
}

FaultyServer::Settings MakeSettings(std::uint64_t seed) {
    FaultyServer::Settings settings;
    settings.seed = seed;
    const QDir texts(QStringLiteral(KORU_SAMPLE_DIR "/server/files/koru"));
    for (const QString& name : texts.entryList(QDir::Files))
        settings.texts.insert("/files/koru/" + QFile::encodeName(name),
                              ReadAll(texts.filePath(name)));
    settings.archivePath = "/files/vanto.zip";
    std::mt19937_64 random(seed);
    QByteArray bytes(archiveSize, Qt::Uninitialized);
    for (char& byte : bytes)
        byte = char(random());
    settings.archives[0] = bytes;
    // Every byte differs, so that no splice of the two equals either.
    for (char& byte : bytes)
        byte = char(byte ^ 0x5a);
    settings.archives[1] = bytes;
    return settings;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: soak_faults [--seed N] [--checks N] [--downloads N]\n");
        return 64;
    }
    std::printf("seed %llu: %d checks, %d downloads of %lld bytes\n",
                static_cast<unsigned long long>(options.seed), options.checks, options.downloads,
                static_cast<long long>(archiveSize));
    std::fflush(stdout);

    const TestVantoHome home;
    const FaultyServer::Settings settings = MakeSettings(options.seed);
    FaultyServer server(settings);
    qputenv("KORU_SERVER", server.hostAndPort());
    Forms forms;
    forms.KORU2.Show();
    Soak soak(server, settings, home, forms);

    QElapsedTimer timer;
    timer.start();
    for (int run = 0; run < options.checks; ++run)
        soak.Check(run);
    const double checkSeconds = double(timer.elapsed()) / 1000;
    for (int run = 0; run < options.downloads; ++run)
        soak.Download(run, false);
    // The last word: a clean download takes up or removes whatever was kept.
    server.SetFaults(false);
    soak.Download(options.downloads, true);
    const double seconds = double(timer.elapsed()) / 1000;
    return soak.Report(seconds, checkSeconds, seconds - checkSeconds);
}
