// A loopback HTTP server that fails at random, for soak runs: each connection
// gets a clean answer or a fault drawn from a seeded generator, so a run can
// be repeated. It serves texts by path and one archive in two versions, with
// Range and If-Range, and now and then changes the archive between requests.
// One thread of its own serves one connection at a time, as KORU fetches.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <random>
#include <thread>

class FaultyServer {
public:
    enum class Fault {
        Clean,
        Chunked,     // a correct chunked body
        Interim,     // a 1xx answer before the real one
        CloseAtOnce, // the request read, the connection closed
        ResetAtOnce,
        ResetInHead,
        ResetInBody,
        CutBody,     // the whole length announced, part sent, then closed
        LongBody,    // fewer bytes announced than sent
        ServerError, // 5xx
        Stall,       // silent until the client gives up (the archive's at once or part way)
        Drip,        // two bytes a second
    };
    static constexpr int faultKinds = int(Fault::Drip) + 1;
    static const char* Name(Fault fault);
    // Those a correct client gets through.
    static bool Harmless(Fault fault) {
        return fault == Fault::Clean || fault == Fault::Chunked || fault == Fault::Interim;
    }

    struct Settings {
        std::uint64_t seed = 1;
        QMap<QByteArray, QByteArray> texts; // path -> body; others are not found
        QByteArray archivePath;
        std::array<QByteArray, 2> archives; // the archive's two versions, same size
        // The slow faults are rare and capped, for texts and the archive each.
        int maxStalls = 3;
        int maxDrips = 2;
    };

    // What was served since the last TakeServed().
    struct Served {
        QList<Fault> faults;
        // Per archive request: the Range start asked for, -1 for none.
        QList<std::int64_t> archiveRanges;
        int archiveVersion = -1; // the version the last archive answer carried
        int versionChanges = 0;
        int staleResumes = 0; // ranges asked under an old ETag, answered whole
    };

    explicit FaultyServer(Settings settings);
    ~FaultyServer();
    FaultyServer(const FaultyServer&) = delete;
    FaultyServer& operator=(const FaultyServer&) = delete;

    QByteArray hostAndPort() const;
    // Clean answers only while off.
    void SetFaults(bool on) { faults_ = on; }
    int CurrentVersion() const { return version_.load(); }
    Served TakeServed();
    std::array<int, faultKinds> Totals() const;

private:
    struct Answer {
        QByteArray status;  // the status line without its line end
        QByteArray headers; // whole lines, framing apart
        QByteArray data;    // shared, never copied: the body is data from `from` on
        qsizetype from = 0;
        bool isArchive = false;
    };

    void Run();
    void Serve(int fd);
    bool ReadRequest(int fd, QByteArray& request);
    Fault Draw(bool archive);
    Answer AnswerFor(const QByteArray& request);
    void Act(int fd, Fault fault, const Answer& answer);
    bool Send(int fd, const char* data, qsizetype size);
    bool Send(int fd, const QByteArray& bytes) { return Send(fd, bytes.constData(), bytes.size()); }
    // Waits up to `ms` for the client to close; true when it did (or the server stops).
    bool ClientClosed(int fd, int ms);
    qsizetype Between(qsizetype low, qsizetype high); // inclusive

    Settings settings_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> faults_{true};
    std::atomic<int> version_{0};
    std::mt19937_64 random_;
    std::array<int, 2> stalls_{}; // texts, archive
    std::array<int, 2> drips_{};
    mutable std::mutex mutex_;
    Served served_;
    std::array<int, faultKinds> totals_{};
    std::thread thread_;
};
