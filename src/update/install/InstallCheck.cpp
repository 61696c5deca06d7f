#include "update/install/InstallCheck.h"

#include "platform/runtime/MsgBox.h"
#include "update/files/SeedArchive.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/InstallableArchive.h"
#include "update/install/UpdateInstaller.h"

#include <QFile>

namespace InstallCheck {

namespace {

Result Refused(QList<QByteArray> lines, const QByteArray& why) {
    lines << "INSTALL REFUSED: " + why;
    return {false, lines};
}

using Say = std::function<void(const QByteArray&)>;

// Vets the archive; with `say`, installs it too.
Result Vetted(const QString& archive, const std::optional<ReleaseList>& list,
              const QString& vantoFolder, const Say& say) {
    const QString path = archive.isEmpty() ? SeedArchive::For({}) : archive;
    if (path.isEmpty())
        return Refused({}, "KORU has no saved archive to check (none was saved, or it changed "
                           "since); name one.");
    QList<QByteArray> lines{"Vetting the archive " + QFile::encodeName(path) + "..."};
    if (!list)
        return Refused(lines, "KORU installs only archives whose hash a verified release list "
                              "names, and this check verified none (it needs the publisher's "
                              "key).");
    const InstallableArchive opened(path, *list);
    if (!opened.Problem().isEmpty())
        return Refused(lines, opened.Problem());
    // An install unpacks every entry with the same checks, so its vetting
    // inflates only VANTO.ini.
    const InstallPlan plan = ArchiveVetting::Vet(
        opened.Descriptor(), vantoFolder, list->offeredVersion, FolderRoom::Of(vantoFolder), !say);
    if (!plan.Installable())
        return Refused(lines, plan.problem);
    if (!say) {
        lines << "The archive would install VANTO " + list->offeredVersion + ':';
        lines << plan.Lines();
        return {true, lines};
    }
    lines << plan.Lines().constLast();
    if (MsgBox("Install VANTO " + list->offeredVersion +
                   " into VANTO's folder? The version there now is kept for koru-cli restore.",
               vbYesNo, "KORU") != vbYes)
        return Refused(lines, "Nothing was installed: the question was answered No.");
    for (const QByteArray& line : lines)
        say(line);
    const QByteArray why =
        UpdateInstaller(vantoFolder, say).Install(opened.Descriptor(), plan, list->offeredVersion);
    if (!why.isEmpty())
        return Refused({}, why);
    return {true, {}};
}

} // namespace

Result Run(const QString& archive, const std::optional<ReleaseList>& list,
           const QString& vantoFolder) {
    return Vetted(archive, list, vantoFolder, {});
}

Result Install(const QString& archive, const std::optional<ReleaseList>& list,
               const QString& vantoFolder, const Say& say) {
    return Vetted(archive, list, vantoFolder, say);
}

} // namespace InstallCheck
