#include "update/jobs/ReleaseCheck.h"

#include "platform/runtime/RuntimeError.h"
#include "update/formats/ServerPaths.h"
#include "update/trust/ReleaseVerifier.h"

#include <QDateTime>

void ReleaseCheck::Start(TransferEngine& engine, Connection& connection, const QByteArray& server,
                         const QString& vantoFolder, HeldList& held, EndHandler onEnd) {
    engine_ = &engine;
    connection_ = &connection;
    server_ = server;
    held_ = &held;
    Begin(std::move(onEnd));
    held.missing = false;
    const TrustedKeys anchor = TrustedKeys::ForVantoFolder(vantoFolder);
    if (!anchor.Present()) {
        End({});
        return;
    }
    if (!anchor.Usable()) {
        Refuse(anchor.Problem());
        return;
    }
    try {
        store_.emplace(TrustStore::DefaultFolder(), anchor);
        seen_ = store_->Load();
    } catch (const RuntimeError& e) {
        Refuse(e.Description());
        return;
    }
    if (!seen_.problem.isEmpty()) {
        Refuse(seen_.problem);
        return;
    }
    Fetch(ServerPaths::releaseList, &ReleaseCheck::ListEnded);
}

void ReleaseCheck::Fetch(const QByteArray& path, void (ReleaseCheck::*ended)(const FetchResult&)) {
    // The list's own words may quote anything: only a 404 says it is missing.
    TransferEngine::Options options;
    options.limit = ReleaseList::maximumSize;
    options.fetched = NotFoundRule::Fetched::Signed;
    engine_->FetchText(
        *connection_, server_, path, received_,
        [this, ended](const FetchResult& result) { (this->*ended)(result); }, options);
}

void ReleaseCheck::ListEnded(const FetchResult& result) {
    if (result.failure) {
        Fail(result.failure, ServerPaths::releaseList);
    } else if (!result.notFound) {
        listText_ = received_;
        Fetch(ServerPaths::releaseListSignature, &ReleaseCheck::SignatureEnded);
    } else if (seen_.listSeen) {
        // Stripping the list must not fall back to unsigned files.
        Refuse(ReleaseVerifier::Stripped());
    } else {
        held_->missing = true;
        End({});
    }
}

void ReleaseCheck::SignatureEnded(const FetchResult& result) {
    if (result.failure) {
        Fail(result.failure, ServerPaths::releaseListSignature);
        return;
    }
    if (result.notFound) {
        Refuse("The release list has no signature on the server.");
        return;
    }
    signatureText_ = received_;
    list_ = ReleaseList::Parse(listText_);
    if (!list_.Valid()) {
        Refuse(list_.problem);
        return;
    }
    chain_.emplace(seen_.keys, seen_.epoch);
    const QByteArray unreachable = chain_->CanReach(list_.epoch);
    if (!unreachable.isEmpty()) {
        Refuse(unreachable);
        return;
    }
    NextLink();
}

void ReleaseCheck::NextLink() {
    if (chain_->Epoch() >= list_.epoch)
        VerifyList();
    else
        Fetch(ServerPaths::files + KeyChain::LinkPath(chain_->Epoch() + 1),
              &ReleaseCheck::LinkEnded);
}

void ReleaseCheck::LinkEnded(const FetchResult& result) {
    const QByteArray path = ServerPaths::files + KeyChain::LinkPath(chain_->Epoch() + 1);
    if (result.failure) {
        Fail(result.failure, path);
    } else if (result.notFound) {
        Refuse(KeyChain::Missing(chain_->Epoch() + 1));
    } else {
        linkText_ = received_;
        Fetch(path + ServerPaths::signatureEnding, &ReleaseCheck::LinkSignatureEnded);
    }
}

void ReleaseCheck::LinkSignatureEnded(const FetchResult& result) {
    const QByteArray path =
        ServerPaths::files + KeyChain::LinkPath(chain_->Epoch() + 1) + ServerPaths::signatureEnding;
    if (result.failure) {
        Fail(result.failure, path);
        return;
    }
    if (result.notFound) {
        Refuse(KeyChain::Missing(chain_->Epoch() + 1));
        return;
    }
    // A bad link leaves the chain, and what is remembered, as they were.
    const QByteArray refused = chain_->Advance(linkText_, received_);
    if (!refused.isEmpty()) {
        Refuse(refused);
        return;
    }
    NextLink();
}

void ReleaseCheck::VerifyList() {
    const ReleaseVerifier::Verdict verdict = ReleaseVerifier::Verify(
        listText_, signatureText_, *chain_, seen_.serial, QDateTime::currentDateTimeUtc());
    if (!verdict.Verified()) {
        Refuse(verdict.problem);
        return;
    }
    try {
        store_->Record({verdict.list.serial, chain_->Epoch(), chain_->Keys(), true, {}});
    } catch (const RuntimeError& e) {
        Fail({TransferFailure::Kind::Save,
              "What KORU remembers of release lists cannot be written (" + e.Description() + ")."},
             ServerPaths::releaseList);
        return;
    }
    *held_ = verdict.list;
    End({{}, {}, verdict.LogLine()});
}

void ReleaseCheck::Fail(const TransferFailure& failure, const QByteArray& path) {
    End({failure, path, {}});
}

void ReleaseCheck::Stopped() {
    engine_->Cancel();
}
