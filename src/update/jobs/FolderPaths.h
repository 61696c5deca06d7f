// Where the version check and the help-links update keep their files in
// VANTO's folder, each path named once.
#pragma once

namespace FolderPaths {

inline constexpr char installedVersion[] = "/VANTO.ini";
// The scratch file of the switch, the offered version and the help-links list.
inline constexpr char scratchText[] = "/files/temp/ver.tmp";
inline constexpr char news[] = "/files/temp/otherinfo.txt";
inline constexpr char helpLinksStamp[] = "/files/koru/koru_helplinks.ver";
inline constexpr char helpFolder[] = "/files/koru/help";

} // namespace FolderPaths
