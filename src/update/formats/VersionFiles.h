// The formats the version check reads: the installed version in VANTO.ini,
// the offered version in the server's version file, the switch keyword and
// the help-links stamps.
#pragma once

#include <QByteArray>
#include <QString>

namespace VersionFiles {

// The text that stands for "no valid installation".
inline constexpr char noInstallation[] = "00.00";

// The installed version text: the 5 bytes at byte 100 of VANTO.ini, or
// "00.00" for an empty file. The check opens the file for binary access, so a
// missing one is left behind empty; what only looks (the install's offer and
// planning) leaves a missing one missing.
enum class Missing { LeftEmpty, LeftMissing };
QByteArray InstalledVersionText(const QString& iniPath, Missing missing = Missing::LeftEmpty);
// The same field of VANTO.ini's bytes (from byte 1), as an archive carries them.
QByteArray IniVersionText(const QByteArray& ini);
// How many of VANTO.ini's first bytes the version field needs.
inline constexpr qsizetype iniVersionEnd = 104;

// Characters 7 to 11 of the version file.
QByteArray OfferedVersionText(const QByteArray& versionFile);

// A version text as a number, as the check reads it (Val, in single precision).
float VersionNumber(const QByteArray& text);
// True when the offered version is strictly newer, compared in single precision.
bool IsNewer(float installed, float offered);
// True when two version texts name the same version, compared as the check does.
bool SameVersion(const QByteArray& a, const QByteArray& b);

// The switch keyword, found and removed in any case.
bool ContainsKillSwitch(const QByteArray& text);
QByteArray WithoutKillSwitch(const QByteArray& text);

// The 6-byte stamp at the start of a file (created empty when missing).
QByteArray ReadStamp(const QString& path);

// Stamps are equal only when both are whole 6-byte stamps with the same
// bytes; a short stamp never matches, so the update stays on offer.
bool SameStamp(const QByteArray& installed, const QByteArray& offered);

} // namespace VersionFiles
