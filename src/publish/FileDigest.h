// The BLAKE2b digest of a file read in blocks: the hash a release list names
// (32 bytes) and the one a prehashed minisign signature signs (64 bytes).
#pragma once

#include <QByteArray>
#include <QString>

// Raises RuntimeError 75 when the file cannot be read.
QByteArray FileDigest(const QString& path, qsizetype digestSize);
