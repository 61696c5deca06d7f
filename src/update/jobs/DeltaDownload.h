// The delta side of an archive download: the publisher's zsync control file,
// the seed scanned in slices from the event loop (no request is outstanding
// meanwhile, so no stall is counted), the blocks it gives copied into a file
// beside the target and the rest fetched with Range requests through the
// transfer engine. It ends in one of three ways: the archive is assembled
// and its SHA-1 is right; the whole archive must be downloaded instead
// (silently when there is no usable control file, else with the reason); or
// the download failed as a full one would have.
#pragma once

#include "update/delta/DeltaScan.h"
#include "update/delta/ZsyncControl.h"
#include "update/files/DeltaReceiver.h"
#include "update/jobs/Job.h"
#include "update/net/TransferEngine.h"

#include <QList>
#include <QSet>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

struct DeltaOutcome {
    enum class Result { Assembled, Whole, Failed };
    Result result = Result::Failed;
    // With Whole, why the delta was given up (empty: nothing to say); with
    // Failed, why the download failed.
    TransferFailure why;
};

class DeltaDownload : public Job<DeltaOutcome> {
public:
    using Outcome = DeltaOutcome;
    using Result = DeltaOutcome::Result;

    // Told the line the log shows once the scan is done: "Reusing 71 % of
    // the previous archive; fetching 10.4 MB."
    std::function<void(const QByteArray& line)> onReusing;

    // Under a release list, the archive's listed length (-1: no list). The
    // list's hash then judges the archive; without one the server's answers
    // must confirm the control file's length, and its tail when no range is
    // missing.
    qint64 listedLength = -1;
    // The vetting of its fetches (the release list's), if any.
    TransferEngine::Options::Vetting vetting;

    DeltaDownload();

    // Puts together the archive for `target` from `seed` and `server`'s
    // answers; `onEnd` is told once.
    void Start(TransferEngine& engine, Connection& connection, const QByteArray& server,
               const QString& target, const QString& seed, EndHandler onEnd);
    // The assembled archive, after Assembled.
    DeltaReceiver& Receiver() { return *receiver_; }
    // Lets go of the file, assembled or not; a running scan or download is
    // let go by Cancel.
    void Release();

private:
    void ControlEnded(const FetchResult& result);
    void ScanSlice();
    void Assemble();
    void FetchNext();
    void AskOneEach();
    void RangesEnded(const FetchResult& result);
    void End(Result result, const TransferFailure& why = {}) { Job::End({result, why}); }
    void GiveUp(const QByteArray& reason);
    // A fetch under way is the delta's own: it goes too.
    void Stopped() override {
        engine_->Cancel();
        Release();
    }

    TransferEngine* engine_ = nullptr;
    Connection* connection_ = nullptr;
    QByteArray server_;
    QString target_;
    QString seed_;
    QByteArray controlText_;
    ZsyncControl control_;
    std::optional<DeltaScan> scan_;
    QTimer slicer_;
    std::unique_ptr<DeltaReceiver> receiver_;
    QList<QByteArray> pending_; // Range values still to ask for
    QByteArray mirror_;         // the server that answered last
    bool oneEach_ = false;      // pending_ goes one range per request
    // Servers seen to answer one range per request, for the rest of the run.
    QSet<QByteArray> oneRangeServers_;
};
