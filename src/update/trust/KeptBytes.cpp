#include "update/trust/KeptBytes.h"

#include <QFile>
#include <algorithm>

namespace {
constexpr qint64 pieceSize = 64 * 1024;
} // namespace

QByteArray KeptBytes::Read(const QString& path, qint64 size,
                           const std::function<bool(const char* data, qsizetype size)>& take) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "The partial archive cannot be read (" + file.errorString().toUtf8() + ").";
    QByteArray piece(pieceSize, Qt::Uninitialized);
    for (qint64 left = size; left > 0;) {
        const qint64 got = file.read(piece.data(), std::min(left, pieceSize));
        if (got <= 0)
            return "The partial archive is shorter than the bytes already received.";
        if (!take(piece.constData(), qsizetype(got)))
            return {};
        left -= got;
    }
    return {};
}
