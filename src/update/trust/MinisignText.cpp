#include "update/trust/MinisignText.h"

#include "platform/runtime/RuntimeError.h"

#include <algorithm>
#include <sodium.h>

namespace MinisignText {

QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    const bool lastEnded = text.endsWith('\n');
    if (lastEnded)
        lines.removeLast();
    // Only a CR right before LF belongs to the line end.
    const qsizetype ended = lastEnded ? lines.size() : lines.size() - 1;
    for (qsizetype i = 0; i < ended; ++i) {
        if (lines[i].endsWith('\r'))
            lines[i].chop(1);
    }
    return lines;
}

std::optional<QByteArray> AfterPrefix(const QByteArray& line, const char* prefix) {
    if (!line.startsWith(prefix))
        return std::nullopt;
    return line.mid(qsizetype(qstrlen(prefix)));
}

std::optional<QByteArray> DecodeBase64(const QByteArray& line, qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    size_t decoded = 0;
    const char* end = nullptr;
    const int failed = sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()),
                                         size_t(size), line.constData(), size_t(line.size()),
                                         nullptr, &decoded, &end, sodium_base64_VARIANT_ORIGINAL);
    if (failed != 0 || decoded != size_t(size) || end != line.constData() + line.size())
        return std::nullopt;
    return bytes;
}

QByteArray KeyIdText(const QByteArray& keyId) {
    QByteArray reversed = keyId;
    std::reverse(reversed.begin(), reversed.end());
    QByteArray hex = reversed.toHex().toUpper();
    while (hex.size() > 1 && hex.startsWith('0'))
        hex.remove(0, 1);
    return hex;
}

void RequireSodium() {
    if (sodium_init() < 0)
        throw RuntimeError(RuntimeErrors::invalidCall,
                           "The cryptography library cannot be initialised.", "libsodium");
}

} // namespace MinisignText
