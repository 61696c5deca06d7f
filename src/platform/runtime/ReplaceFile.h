// Replacing a file's contents at once: the bytes are written beside it and
// renamed over it, so the file holds either its old or its new contents,
// never a part. Failures raise RuntimeError 76 (path not found) or 75
// (access error) as the runtime's file access does.
#pragma once

#include <QByteArray>
#include <QString>

void ReplaceFile(const QString& path, const QByteArray& bytes);
