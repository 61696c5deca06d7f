// A download of VANTO's archive, the same for both windows: the receiver for
// the chosen target (a kept part resumed when the server agrees, asked for
// once more from its first byte when it will not), the signature check when
// a key is trusted, and the rename over the target once everything is right.
// With a seed (the target, or the last archive saved) and a zsync control
// file on the server, only what changed is fetched; a delta that does not
// come out right is followed by one full download from the same server.
// It moves on in the transfer engine's ends and never waits itself.
#pragma once

#include "update/files/ArchiveReceiver.h"
#include "update/jobs/DeltaDownload.h"
#include "update/jobs/Job.h"
#include "update/net/TransferEngine.h"
#include "update/trust/HeldList.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class Connection;

struct ArchiveFlowOutcome {
    TransferFailure failure;
    QByteArray path;           // the file a failure is about
    QByteArray trustedComment; // of a verified archive
    std::int64_t length = 0;   // of the saved archive
};

class ArchiveFlow : public Job<ArchiveFlowOutcome> {
public:
    using Outcome = ArchiveFlowOutcome;

    // Told of a kept part's size once the server has agreed to resume it.
    std::function<void(std::int64_t at)> onResumed;
    // Told a line the log shows above the progress: what a delta reuses, or
    // why the whole archive follows it.
    std::function<void(const QByteArray& line)> onNote;
    // An answer must declare "Content-Type: application/zip" to be the archive.
    bool requireZip = false;
    // The release list the window holds, which judges every fetch. While it
    // holds one, the archive is judged by its length and hash as it arrives,
    // or once a delta has put it together, so its own key and signature are
    // not asked.
    const HeldList* releaseList = nullptr;

    // Downloads the archive from `server` into `target` with `engine` on
    // `connection`, with the key trusted in `vantoFolder`; side texts (the
    // signature) are gathered in `text`. `onEnd` is told once, when the
    // archive is saved or the download has failed.
    void Start(TransferEngine& engine, Connection& connection, const QByteArray& server,
               const QString& target, const QString& vantoFolder, QByteArray& text,
               EndHandler onEnd);

private:
    // The archive's fetch; `again` from the next mirror, counted with the first.
    void FetchArchive(bool again = false);
    TransferEngine::Options Request(bool again, NotFoundRule::Fetched fetched) const;
    void DeltaEnded(DeltaDownload::Result result, const TransferFailure& why);
    // Why the release list refuses the archive a delta put together.
    TransferFailure ListedVerdict();
    // The delta came out wrong: the whole archive follows, once.
    void DownloadWhole(const QByteArray& reason);
    void Note(const QByteArray& line);
    // Starts the archive over from the next mirror for a failure another
    // server may not have; when every mirror has had its try, `failure`
    // becomes the first one's reason with the count.
    bool TriedNextServer(TransferFailure& failure);
    void ArchiveEnded(const FetchResult& result);
    void FetchSignature();
    void SignatureEnded(const FetchResult& result);
    void Save();
    void Fail(const TransferFailure& failure, const QByteArray& path);
    // A cancelled download lets go silently: what arrived may be kept for a resume.
    void Stopped() override;
    // Lets go of the receiver of a download that did not end in a save.
    void Release();

    TransferEngine* engine_ = nullptr;
    Connection* connection_ = nullptr;
    QByteArray server_;
    QString target_;
    QByteArray* text_ = nullptr;
    std::unique_ptr<ArchiveReceiver> archive_;
    DeltaDownload delta_;
    bool assembled_ = false; // the archive came from the delta
    bool cutWhole_ = false;  // the archive's last fetch stopped part way, whole so far
    bool listed_ = false;    // a release list was held at the start
    TransferEngine::Options::Vetting vetting_;
    QByteArray trustedComment_;
};
