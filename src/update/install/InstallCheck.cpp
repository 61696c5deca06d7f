#include "update/install/InstallCheck.h"

#include "update/files/SeedArchive.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/InstallableArchive.h"

#include <QFile>

namespace InstallCheck {

namespace {

Result Refused(QList<QByteArray> lines, const QByteArray& why) {
    lines << "INSTALL REFUSED: " + why;
    return {false, lines};
}

} // namespace

Result Run(const QString& archive, const std::optional<ReleaseList>& list,
           const QString& vantoFolder) {
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
    const InstallPlan plan = ArchiveVetting::Vet(opened.Descriptor(), vantoFolder,
                                                 list->offeredVersion, FolderRoom::Of(vantoFolder));
    if (!plan.Installable())
        return Refused(lines, plan.problem);
    lines << "The archive would install VANTO " + list->offeredVersion + ':';
    lines << plan.Lines();
    return {true, lines};
}

} // namespace InstallCheck
