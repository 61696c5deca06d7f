// The archive's side of a download, the same for both windows: the file the
// body streams into (taking up a part kept from an interrupted download of
// the same archive, asked for with Range and If-Range), the check of the
// server's answer to such a request, and, with a trusted key, the signature
// check before the file replaces its target.
#pragma once

#include "update/files/DownloadFile.h"
#include "update/net/FileSink.h"
#include "update/net/HttpResponseReader.h"
#include "update/trust/ArchiveVerifier.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

class ArchiveReceiver : public FileSink {
public:
    // Prepares the download of `url` into `target`, with the key trusted in
    // `vantoFolder`; a `listed` archive is judged by the release list, so its
    // signature's hash is not kept. Raises RuntimeError when the target's
    // folder cannot take it.
    ArchiveReceiver(const QString& target, const QByteArray& url, const QString& vantoFolder,
                    bool listed = false);

    // Why the archive cannot be checked (a key that is there but unusable);
    // empty when it can, or when there is no key.
    const QByteArray& KeyProblem() const { return keys_.Problem(); }
    // With a key the archive is verified before it replaces its target.
    bool NeedsSignature() const { return keys_.Present(); }

    // The request's extra lines: Range and If-Range while a kept part is asked for.
    QByteArray RequestHeaders() const override;
    // The bytes of the file before this response's body: the resumed part.
    std::int64_t Offset() const override { return resumed_ ? file_.KeptSize() : 0; }
    // Told the size of the kept part once the server has agreed to resume it.
    std::function<void(std::int64_t)> onResumed;

    // Judges the response's head; answers why its body cannot be taken.
    TransferFailure CheckHead(const HttpResponseReader& response) override;
    // Writes and hashes the next body bytes; answers why they cannot be kept.
    TransferFailure Take(const char* data, qsizetype size) override;

    // True when the answer (of `status`) to a resumed request asks for a
    // fresh one: the range was refused or did not fit.
    bool RestartWanted(int status) const;
    // Forgets the kept part: the next request asks for the whole archive.
    void StartOver();

    // Checks the complete archive against the signature file's text.
    ArchiveVerifier::Verdict Verify(const QByteArray& signatureText) const;
    // Checks another file, `size` bytes at `path` (an archive put together
    // from a delta), with the same key.
    ArchiveVerifier::Verdict Verify(const QByteArray& signatureText, const QString& path,
                                    std::int64_t size) const;
    // The bytes of a part kept from an earlier download; 0 without one.
    std::int64_t KeptSize() const { return file_.KeptSize(); }
    // The archive's bytes in the file so far, a resumed part included.
    std::int64_t Size() const { return file_.Size(); }
    // Flushes the archive and renames it over its target; raises RuntimeError.
    void Commit() { file_.Commit(); }
    // The download ended before it was complete: what arrived is kept for a
    // resume when it is sound and the server named a validator, else removed.
    void Interrupt(bool sound) override;
    QString ReadablePath() const override { return file_.ReadablePath(); }

private:
    DownloadFile file_;
    TrustedKeys keys_;
    std::optional<ArchiveVerifier> verifier_;
    QByteArray validator_; // of the response being read
    bool resumed_ = false;
    bool rangeMisfit_ = false;
};
