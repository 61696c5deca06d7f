// The signed release list at the start of a check, the same for both windows:
// with a trusted key it fetches files/koru/release.txt and its signature,
// follows the key chain up to the epoch the list names, verifies the list
// against what KORU remembers (serial, epoch, keys) and records it. The
// verified list goes into the holder it is given, whose vetting judges every
// later fetch against it. Without a key, or while no list was ever accepted for it, a missing list
// changes nothing. It moves on in the transfer engine's ends and never waits.
#pragma once

#include "update/formats/ServerPaths.h"
#include "update/jobs/Job.h"
#include "update/net/TransferEngine.h"
#include "update/trust/HeldList.h"
#include "update/trust/KeyChain.h"
#include "update/trust/ReleaseList.h"
#include "update/trust/TrustStore.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class Connection;

struct ReleaseCheckOutcome {
    TransferFailure failure;
    QByteArray path;    // the file a failure is about
    QByteArray logLine; // "Release list verified: ..."; empty when none was
};

class ReleaseCheck : public Job<ReleaseCheckOutcome> {
public:
    using Outcome = ReleaseCheckOutcome;

    // Checks the release list of `server` for the key trusted in
    // `vantoFolder` with `engine` on `connection`, into `held` (a list held
    // before stays while none is verified); `onEnd` is told once, perhaps
    // before this returns.
    void Start(TransferEngine& engine, Connection& connection, const QByteArray& server,
               const QString& vantoFolder, HeldList& held, EndHandler onEnd);

private:
    void Fetch(const QByteArray& path, void (ReleaseCheck::*ended)(const FetchResult&));
    void ListEnded(const FetchResult& result);
    void SignatureEnded(const FetchResult& result);
    void NextLink();
    void LinkEnded(const FetchResult& result);
    void LinkSignatureEnded(const FetchResult& result);
    void VerifyList();
    // A refusal of the list: the check ends and nothing after it is fetched.
    void Fail(const TransferFailure& failure, const QByteArray& path);
    void Refuse(const QByteArray& reason) {
        Fail({TransferFailure::Kind::Release, reason}, ServerPaths::releaseList);
    }
    void Stopped() override;

    TransferEngine* engine_ = nullptr;
    Connection* connection_ = nullptr;
    QByteArray server_;
    HeldList* held_ = nullptr;
    std::optional<TrustStore> store_;
    TrustStore::State seen_;
    std::optional<KeyChain> chain_;
    ReleaseList list_;
    QByteArray listText_;
    QByteArray signatureText_;
    QByteArray linkText_;
    QByteArray received_; // the text of the fetch under way
};
