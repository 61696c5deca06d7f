#include "update/VersionFiles.h"

#include "platform/runtime/FileAccess.h"

namespace VersionFiles {

namespace {
constexpr char killSwitchKeyword[] = "killswitchon";
constexpr qsizetype stampSize = 6;
} // namespace

QByteArray InstalledVersionText(const QString& iniPath) {
    BinaryFile ini(iniPath);
    if (ini.Length() < 1)
        return noInstallation;
    return ini.Get(100, 5);
}

QByteArray OfferedVersionText(const QByteArray& versionFile) {
    return versionFile.mid(6, 5);
}

bool IsNewer(float installed, float offered) {
    return offered > installed;
}

bool ContainsKillSwitch(const QByteArray& text) {
    return text.toLower().contains(killSwitchKeyword);
}

QByteArray WithoutKillSwitch(QByteArray text) {
    const qsizetype keywordSize = qsizetype(sizeof killSwitchKeyword) - 1;
    for (qsizetype at = text.toLower().indexOf(killSwitchKeyword); at >= 0;
         at = text.toLower().indexOf(killSwitchKeyword, at))
        text.remove(at, keywordSize);
    return text;
}

QByteArray ReadStamp(const QString& path) {
    BinaryFile file(path);
    return file.Get(1, stampSize);
}

bool SameStamp(const QByteArray& installed, const QByteArray& offered) {
    return installed.size() == stampSize && installed == offered;
}

} // namespace VersionFiles
