// What an installable archive's entries may be: the rules for a name, for the
// kind of file an entry's Unix mode says it is, for KORU's own names in
// VANTO's folder and for the mode an entry is given once installed.
#pragma once

#include <QByteArray>
#include <QList>
#include <sys/types.h>

namespace EntryRules {

// At most this many entries in one archive, the folders its names imply
// counted too.
inline constexpr qint64 maximumEntries = 100'000;
// At most this many bytes of names, the implied folders' included: every
// start of KORU reads a plan that lists them.
inline constexpr qint64 maximumNameBytes = 16 * 1024 * 1024;
// The hidden folder KORU keeps for itself in VANTO's folder.
inline constexpr char reservedFolder[] = ".koru";

// Why the raw name (a folder's without its final '/') is no plain relative
// path of UTF-8 names that the file system takes, as the end of a sentence;
// empty when it is one.
QByteArray NameProblem(const QByteArray& name);
// Why an entry may not sit at `path` in VANTO's folder; empty when it may.
QByteArray ReservedProblem(const QByteArray& path);
// Why a Unix mode's file type is neither a regular file nor a folder;
// empty when it is one of those (or names no type).
QByteArray KindProblem(mode_t unixMode);
// The mode an entry is installed with: the owner's execute bit is all that
// is taken from the archive (`unixMode` 0 when it has none).
mode_t InstalledMode(bool folder, mode_t unixMode);

// A name as a reason shows it: bytes that are not printable UTF-8 as \xHH.
QByteArray Shown(const QByteArray& name);

// Why `path`, relative to VANTO's folder, cannot be VANTO's program file, as
// the end of a sentence; empty when it can.
QByteArray ProgramProblem(const QByteArray& path);

} // namespace EntryRules
