// Where the update server keeps what KORU fetches, each path named once. The
// release list and the publisher's tree name the same files under files/.
#pragma once

namespace ServerPaths {

inline constexpr char files[] = "/files/";

// VANTO's archive and the zsync control file of its delta updates.
inline constexpr char archive[] = "/files/vanto.zip";
inline constexpr char archiveControl[] = "/files/vanto.zip.zsync";

// KORU's folder: its texts, the help pages, the signed release list and the
// key chain's links.
inline constexpr char koruFolder[] = "/files/koru/";
inline constexpr char killSwitch[] = "/files/koru/killswitch.txt";
inline constexpr char versionFile[] = "/files/koru/vanto_ver.txt";
inline constexpr char helpLinks[] = "/files/koru/koru_helplinks.txt";
inline constexpr char otherInfo[] = "/files/koru/otherinfo.txt";
inline constexpr char releaseList[] = "/files/koru/release.txt";
inline constexpr char releaseListSignature[] = "/files/koru/release.txt.minisig";
inline constexpr char keysFolder[] = "/files/koru/keys/";

// What a signature beside its file adds to the file's path.
inline constexpr char signatureEnding[] = ".minisig";

// `path` as the release list and the publisher's tree name it: under files/.
constexpr const char* Listed(const char* path) {
    return path + (sizeof files - 1);
}

} // namespace ServerPaths
