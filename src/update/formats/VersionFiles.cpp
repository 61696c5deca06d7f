#include "update/formats/VersionFiles.h"

#include "platform/runtime/FileAccess.h"
#include "platform/runtime/Val.h"

#include <QFileInfo>

namespace VersionFiles {

namespace {
constexpr char killSwitchKeyword[] = "killswitchon";
constexpr qsizetype stampSize = 6;
} // namespace

QByteArray InstalledVersionText(const QString& iniPath, Missing missing) {
    if (missing == Missing::LeftMissing && !QFileInfo::exists(iniPath))
        return noInstallation;
    BinaryFile ini(iniPath);
    return IniVersionText(ini.Get(1, iniVersionEnd));
}

QByteArray IniVersionText(const QByteArray& ini) {
    if (ini.isEmpty())
        return noInstallation;
    return ini.mid(99, 5);
}

QByteArray OfferedVersionText(const QByteArray& versionFile) {
    return versionFile.mid(6, 5);
}

float VersionNumber(const QByteArray& text) {
    return float(Val(text));
}

bool IsNewer(float installed, float offered) {
    return offered > installed;
}

bool SameVersion(const QByteArray& a, const QByteArray& b) {
    return VersionNumber(a) == VersionNumber(b);
}

bool ContainsKillSwitch(const QByteArray& text) {
    return text.toLower().contains(killSwitchKeyword);
}

QByteArray WithoutKillSwitch(const QByteArray& text) {
    // One lower-cased copy, searched left to right; the text after a removed
    // occurrence is searched as it stands, so a keyword that only forms across
    // the gap stays.
    const QByteArray lower = text.toLower();
    const qsizetype keywordSize = qsizetype(sizeof killSwitchKeyword) - 1;
    QByteArray kept;
    kept.reserve(text.size());
    qsizetype from = 0;
    for (qsizetype at = lower.indexOf(killSwitchKeyword); at >= 0;
         at = lower.indexOf(killSwitchKeyword, from)) {
        kept.append(text.constData() + from, at - from);
        from = at + keywordSize;
    }
    kept.append(text.constData() + from, text.size() - from);
    return kept;
}

QByteArray ReadStamp(const QString& path) {
    BinaryFile file(path);
    return file.Get(1, stampSize);
}

bool SameStamp(const QByteArray& installed, const QByteArray& offered) {
    return installed.size() == stampSize && installed == offered;
}

} // namespace VersionFiles
