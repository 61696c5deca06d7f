#include "update/trust/KeyChain.h"

#include "update/formats/ServerPaths.h"
#include "update/trust/SignedText.h"

namespace {

QByteArray LinkName(qint64 epoch) {
    return QByteArray("The key chain link ") + ServerPaths::files + KeyChain::LinkPath(epoch);
}

} // namespace

KeyChain::KeyChain(TrustedKeys keys, qint64 epoch) : keys_(std::move(keys)), epoch_(epoch) {}

QByteArray KeyChain::LinkPath(qint64 epoch) {
    return ServerPaths::Listed(ServerPaths::keysFolder) + QByteArray::number(epoch) + ".txt";
}

QByteArray KeyChain::LinkComment(qint64 epoch) {
    return "koru-keys epoch " + QByteArray::number(epoch);
}

QByteArray KeyChain::CanReach(qint64 epoch) const {
    if (epoch < epoch_)
        return "The server's release list names key epoch " + QByteArray::number(epoch) +
               ", older than epoch " + QByteArray::number(epoch_) + " that KORU already trusts.";
    if (epoch - epoch_ > maximumSteps)
        return "The server's release list names key epoch " + QByteArray::number(epoch) +
               ", more than " + QByteArray::number(maximumSteps) + " rotations beyond epoch " +
               QByteArray::number(epoch_) + " that KORU trusts.";
    return {};
}

QByteArray KeyChain::Missing(qint64 epoch) {
    // A list may claim any epoch: without the link, its signature is by a
    // key nobody vouched for.
    return LinkName(epoch) + " is missing, so key epoch " + QByteArray::number(epoch) +
           " cannot be reached and the release list's signature cannot be checked against any "
           "key KORU trusts.";
}

QByteArray KeyChain::Advance(const QByteArray& linkText, const QByteArray& signatureText) {
    const qint64 next = epoch_ + 1;
    const SignedText::Verdict verdict =
        SignedText::Verify(keys_, linkText, signatureText, LinkName(next));
    if (!verdict.Verified())
        return verdict.problem;
    if (verdict.trustedComment != LinkComment(next))
        return LinkName(next) + " is signed for another place in the chain (\"" +
               verdict.trustedComment.left(40) + "\", not \"" + LinkComment(next) + "\").";
    TrustedKeys keys = TrustedKeys::FromFileText(linkText, LinkName(next));
    if (!keys.Usable())
        return keys.Problem();
    keys_ = std::move(keys);
    epoch_ = next;
    return {};
}
