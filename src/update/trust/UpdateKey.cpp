#include "update/trust/UpdateKey.h"

#include "update/trust/MinisignText.h"

#ifndef KORU_UPDATE_PUBLIC_KEY
#define KORU_UPDATE_PUBLIC_KEY ""
#endif

namespace {
constexpr qsizetype keyBytes = 2 + MinisignText::keyIdSize + UpdateKey::publicKeySize;
// A key file of one key is about a hundred bytes; a large text is not one.
constexpr qint64 maximumFileSize = 4096;
} // namespace

UpdateKey UpdateKey::FromFileText(const QByteArray& text) {
    if (text.size() > maximumFileSize)
        return Refused(fileWhere, "is too large for a key file");
    const QList<QByteArray> lines = MinisignText::Lines(text);
    if (lines.size() != 2)
        return Refused(fileWhere, "must have two lines, a comment and the key");
    if (!MinisignText::AfterPrefix(lines[0], MinisignText::untrustedPrefix))
        return Refused(fileWhere, "does not start with an untrusted comment");
    return FromLine(lines[1], fileWhere);
}

UpdateKey UpdateKey::FromKeyLine(const QByteArray& line) {
    return FromLine(line, "The built-in update key");
}

QByteArray UpdateKey::BuiltInKeyLine() {
    return KORU_UPDATE_PUBLIC_KEY;
}

UpdateKey UpdateKey::Refused(const QByteArray& where, const QByteArray& why) {
    UpdateKey key;
    key.present_ = true;
    key.problem_ = where + ' ' + why + '.';
    return key;
}

UpdateKey UpdateKey::FromLine(const QByteArray& line, const QByteArray& where) {
    const std::optional<QByteArray> bytes = MinisignText::DecodeBase64(line, keyBytes);
    if (!bytes)
        return Refused(where, "is not a minisign public key (base64 of 42 bytes)");
    if (!bytes->startsWith("Ed"))
        return Refused(where, "is not an Ed25519 minisign key");
    UpdateKey key;
    key.present_ = true;
    key.keyId_ = bytes->mid(2, MinisignText::keyIdSize);
    key.publicKey_ = bytes->mid(2 + MinisignText::keyIdSize);
    return key;
}
