// A download of VANTO's archive, the same for both windows: the receiver for
// the chosen target (a kept part resumed when the server agrees, asked for
// once more from its first byte when it will not), the signature check when
// a key is trusted, and the rename over the target once everything is right.
// It moves on in the transfer engine's ends and never waits itself.
#pragma once

#include "update/archive/ArchiveReceiver.h"
#include "update/http/TransferEngine.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

class CSocketMaster;

class ArchiveFlow {
public:
    struct Outcome {
        TransferFailure failure;
        QByteArray path;           // the file a failure is about
        QByteArray trustedComment; // of a verified archive
        std::int64_t length = 0;   // of the saved archive
    };
    using EndHandler = std::function<void(const Outcome& outcome)>;

    // Told of a kept part's size once the server has agreed to resume it.
    std::function<void(std::int64_t at)> onResumed;
    // An answer must declare "Content-Type: application/zip" to be the archive.
    bool requireZip = false;

    // Downloads the archive from `server` into `target` with `engine` on
    // `socket`, with the key trusted in `vantoFolder`; side texts (the
    // signature) are gathered in `text`. `onEnd` is told once, when the
    // archive is saved or the download has failed.
    void Start(TransferEngine& engine, CSocketMaster& socket, const QByteArray& server,
               const QString& target, const QString& vantoFolder, QByteArray& text,
               EndHandler onEnd);

    bool Running() const { return running_; }
    // Lets a download go that has not ended, silently: what arrived may be
    // kept for a resume.
    void Cancel();

private:
    void FetchArchive();
    bool TriedNextServer(const TransferFailure& failure);
    void ArchiveEnded(const TransferFailure& failure);
    void SignatureEnded(const TransferFailure& failure);
    void Save();
    void Fail(const TransferFailure& failure, const QByteArray& path);
    void End(Outcome outcome);
    // Lets go of the receiver of a download that did not end in a save.
    void Release();

    TransferEngine* engine_ = nullptr;
    CSocketMaster* socket_ = nullptr;
    QByteArray server_;
    QByteArray* text_ = nullptr;
    std::unique_ptr<ArchiveReceiver> archive_;
    QByteArray trustedComment_;
    EndHandler onEnd_;
    bool running_ = false;
};
