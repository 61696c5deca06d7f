#include "update/trust/ReleaseVerifier.h"

#include "update/trust/SignedText.h"

namespace {

ReleaseVerifier::Verdict Refused(const QByteArray& problem) {
    return {{}, problem};
}

QByteArray DateText(const QDateTime& time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
}

} // namespace

QByteArray ReleaseVerifier::Verdict::LogLine() const {
    return "Release list verified: serial " + QByteArray::number(list.serial) + ", valid until " +
           DateText(list.expires) + '.';
}

ReleaseVerifier::Verdict ReleaseVerifier::Verify(const QByteArray& listText,
                                                 const QByteArray& signatureText,
                                                 const KeyChain& chain, qint64 serialSeen,
                                                 const QDateTime& now) {
    if (listText.size() > ReleaseList::maximumSize)
        return Refused("The release list is larger than 16 KiB.");
    const SignedText::Verdict signature =
        SignedText::Verify(chain.Keys(), listText, signatureText, "The release list");
    if (!signature.Verified())
        return Refused(signature.problem);
    ReleaseList list = ReleaseList::Parse(listText);
    if (!list.Valid())
        return Refused(list.problem);
    if (list.epoch != chain.Epoch()) {
        const QByteArray unreachable = chain.CanReach(list.epoch);
        return Refused(!unreachable.isEmpty()
                           ? unreachable
                           : "The release list names key epoch " + QByteArray::number(list.epoch) +
                                 ", which KORU has not reached.");
    }
    if (list.serial < serialSeen)
        return Refused(
            "The server's release list is older than one KORU has already seen (serial " +
            QByteArray::number(list.serial) + ", seen " + QByteArray::number(serialSeen) + ").");
    if (list.expires <= now)
        return Refused("The server's release list expired on " + DateText(list.expires) + " at " +
                       list.expires.toUTC().toString(QStringLiteral("HH:mm")).toLatin1() + " UTC.");
    // Any text the key signs could be served here: the comment says what was signed.
    if (signature.trustedComment != list.SignedComment())
        return Refused("The release list's signature was made for another text (\"" +
                       signature.trustedComment.left(40) + "\", not \"" + list.SignedComment() +
                       "\").");
    return {std::move(list), {}};
}

QByteArray ReleaseVerifier::Stripped() {
    return "The server has no release list, though KORU has accepted one from this publisher "
           "before.";
}
