// The first bytes of a kept part of a download, read back from disk in
// pieces, for a check that must see them before the bytes that follow.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace KeptBytes {

// Hands `take` the first `size` bytes of the file at `path`, in order, until
// it answers false. Answers why they cannot all be read, or an empty text.
QByteArray Read(const QString& path, qint64 size,
                const std::function<bool(const char* data, qsizetype size)>& take);

} // namespace KeptBytes
