// What the key file and the signature file written by minisign have in
// common: short texts of fixed lines, strict base64 and 8-byte key ids.
#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

namespace MinisignText {

inline constexpr qsizetype keyIdSize = 8;
inline constexpr char untrustedPrefix[] = "untrusted comment: ";

// The lines of a text; each may end in LF or CR LF, and one line end after
// the last line is allowed. A bare CR stays part of its line.
QList<QByteArray> Lines(const QByteArray& text);

// The bytes after `prefix` when the line starts with it.
std::optional<QByteArray> AfterPrefix(const QByteArray& line, const char* prefix);

// Strict base64 (standard alphabet, padded, nothing else on the line) of
// exactly `size` bytes; nothing when the line is anything else.
std::optional<QByteArray> DecodeBase64(const QByteArray& line, qsizetype size);

// A key id as minisign shows it: a number in upper-case hex without leading
// zeros, read from the bytes last byte first.
QByteArray KeyIdText(const QByteArray& keyId);

// Prepares libsodium once. Raises RuntimeError when it cannot be used.
void RequireSodium();

} // namespace MinisignText
