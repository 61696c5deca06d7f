#include "update/trust/ArchiveSignature.h"

#include "update/trust/MinisignText.h"

#include <QList>

namespace {
constexpr qsizetype lineBytes = 2 + MinisignText::keyIdSize + ArchiveSignature::signatureSize;
constexpr char trustedPrefix[] = "trusted comment: ";
} // namespace

ArchiveSignature ArchiveSignature::Parse(const QByteArray& text) {
    if (text.isEmpty())
        return Malformed("it is empty");
    if (text.size() > maximumSize)
        return Malformed("it is larger than 64 KiB");
    const QList<QByteArray> lines = MinisignText::Lines(text);
    if (lines.size() != 4)
        return Malformed("it has " + QByteArray::number(lines.size()) +
                         (lines.size() == 1 ? " line" : " lines") + ", not 4");
    if (!MinisignText::AfterPrefix(lines[0], MinisignText::untrustedPrefix))
        return Malformed("its first line is not an untrusted comment");
    const std::optional<QByteArray> line = MinisignText::DecodeBase64(lines[1], lineBytes);
    if (!line)
        return Malformed("its second line is not base64 of 74 bytes");
    std::optional<QByteArray> comment = MinisignText::AfterPrefix(lines[2], trustedPrefix);
    if (!comment)
        return Malformed("its third line is not a trusted comment");
    std::optional<QByteArray> global = MinisignText::DecodeBase64(lines[3], signatureSize);
    if (!global)
        return Malformed("its last line is not base64 of 64 bytes");

    ArchiveSignature signature;
    signature.algorithm_ = line->left(2);
    signature.keyId_ = line->mid(2, MinisignText::keyIdSize);
    signature.signature_ = line->mid(2 + MinisignText::keyIdSize);
    signature.trustedComment_ = std::move(*comment);
    signature.globalSignature_ = std::move(*global);
    return signature;
}

ArchiveSignature ArchiveSignature::Malformed(const QByteArray& why) {
    ArchiveSignature signature;
    signature.problem_ = "The signature file is malformed: " + why + '.';
    return signature;
}
