// The files KORU reads and writes in VANTO's folder, relative to it, each
// path named once.
#pragma once

namespace FolderPaths {

inline constexpr char installedVersion[] = "VANTO.ini";
// The scratch file of the switch, the offered version and the help-links list.
inline constexpr char scratchText[] = "files/temp/ver.tmp";
inline constexpr char news[] = "files/temp/otherinfo.txt";
inline constexpr char helpLinksStamp[] = "files/koru/koru_helplinks.ver";
inline constexpr char helpFolder[] = "files/koru/help";
// The keys KORU trusts: no archive may bring its own.
inline constexpr char updateKey[] = "files/koru/update.pub";

} // namespace FolderPaths
