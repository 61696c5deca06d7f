#include "update/install/InstallCheck.h"

#include "platform/runtime/RuntimeError.h"
#include "update/files/SeedArchive.h"
#include "update/formats/FolderPaths.h"
#include "update/formats/VersionFiles.h"
#include "update/install/ArchiveVetting.h"
#include "update/install/InstallableArchive.h"
#include "update/install/RunningVanto.h"
#include "update/install/UpdateInstaller.h"
#include "update/trust/TrustedKeys.h"

#include <QDir>
#include <QFile>
#include <sys/stat.h>

namespace InstallCheck {

namespace {

Result Refused(QList<QByteArray> lines, const QByteArray& why) {
    lines << "INSTALL REFUSED: " + why;
    return {false, lines, why};
}

FolderSwap::Say SayTo(JobLog& log) {
    return [&log](const QByteArray& line) { log.Append(line + "\r\n"); };
}

// Before a swap: true once no VANTO runs, else `ending` says why.
bool Closed(const QString& vantoFolder, const QByteArray& program, const AwaitClosed& awaitClosed,
            JobLog& log, Ending& ending) {
    const RunningVanto vanto(vantoFolder, program);
    if (vanto.Pids().isEmpty())
        return true;
    ending.why = awaitClosed(vanto, SayTo(log));
    ending.vantoRunning = !ending.why.isEmpty();
    ending.vantoClosed = !ending.vantoRunning;
    return !ending.vantoRunning;
}

// What Install adds to Run's vetting.
struct Installing {
    JobLog& log;
    const AwaitClosed& awaitClosed;
    const Ask& ask;
    const UpdateInstaller::Progress& progress;
    Ending& ending;
};

// Vets the archive; with `installing`, installs it too.
Result Vetted(const QString& archive, const std::optional<ReleaseList>& list, bool listMissing,
              const QString& vantoFolder, Installing* installing) {
    const QString path = archive.isEmpty() ? SeedArchive::For({}) : archive;
    if (path.isEmpty())
        return Refused({}, "KORU has no saved archive to check (none was saved, or it changed "
                           "since); name one.");
    QList<QByteArray> lines{"Vetting the archive " + QFile::encodeName(path) + "..."};
    if (!list) {
        // Why none was, as far as the run knows.
        QByteArray why = "the check did not accept the server's release list (the lines above "
                         "say why).";
        if (!TrustedKeys::ForVantoFolder(vantoFolder).Present())
            why = QByteArray("there is no publisher's key (") + FolderPaths::updateKey +
                  ") to verify one with.";
        else if (listMissing)
            why = "the server publishes no release list.";
        return Refused(lines, "KORU installs only archives whose hash a verified release list "
                              "names, and this check verified none: " +
                                  why);
    }
    const InstallableArchive opened(path, *list);
    if (!opened.Problem().isEmpty())
        return Refused(lines, opened.Problem());
    // An install unpacks every entry with the same checks, so its vetting
    // inflates only VANTO.ini.
    const InstallPlan plan =
        ArchiveVetting::Vet(opened.Descriptor(), vantoFolder, list->offeredVersion,
                            FolderRoom::Of(vantoFolder), installing == nullptr);
    if (!plan.Installable())
        return Refused(lines, plan.problem);
    if (installing == nullptr) {
        QByteArray why;
        try {
            why = UpdateInstaller(vantoFolder, {}).Check(plan, list->offeredVersion);
        } catch (const RuntimeError& e) {
            why = e.Description();
        }
        if (!why.isEmpty())
            return Refused(lines, why);
        lines << "The archive would install VANTO " + list->offeredVersion + ':';
        lines << plan.Lines();
        return {true, lines, {}};
    }
    lines << plan.Lines().constLast();
    // A running VANTO is met before the question, so that the answer is the
    // last word before the swap.
    if (!Closed(vantoFolder, Program(vantoFolder, list->program), installing->awaitClosed,
                installing->log, installing->ending))
        return Refused(lines, installing->ending.why);
    if (!installing->ask("Install VANTO " + list->offeredVersion +
                             " into VANTO's folder? The version there now is kept for a restore.",
                         "KORU"))
        return Refused(lines, "Nothing was installed: the question was answered No.");
    const FolderSwap::Say say = SayTo(installing->log);
    for (const QByteArray& line : lines)
        say(line);
    const QByteArray why =
        UpdateInstaller(vantoFolder, say, installing->progress)
            .Install(opened.Descriptor(), plan, list->offeredVersion, list->program);
    if (!why.isEmpty())
        return Refused({}, why);
    return {true, {}, {}};
}

} // namespace

Result Run(const QString& archive, const std::optional<ReleaseList>& list, bool listMissing,
           const QString& vantoFolder) {
    return Vetted(archive, list, listMissing, vantoFolder, nullptr);
}

Ending Install(const QString& archive, const std::optional<ReleaseList>& list, bool listMissing,
               const QString& vantoFolder, JobLog& log, const AwaitClosed& awaitClosed,
               const Ask& ask, const UpdateInstaller::Progress& progress) {
    Ending ending;
    Installing installing{log, awaitClosed, ask, progress, ending};
    const Result result = Vetted(archive, list, listMissing, vantoFolder, &installing);
    for (const QByteArray& line : result.lines)
        log.Append(line + "\r\n");
    ending.why = result.why;
    log.AppendSeparator();
    return ending;
}

Ending Restore(const QString& vantoFolder, const QByteArray& listed, JobLog& log,
               const AwaitClosed& awaitClosed, const Ask& ask) {
    Ending ending;
    if (Closed(vantoFolder, Program(vantoFolder, listed), awaitClosed, log, ending)) {
        ending.why =
            ask("Swap the version of VANTO that KORU kept back into VANTO's folder?", "KORU")
                ? UpdateInstaller(vantoFolder, SayTo(log)).Restore()
                : "Nothing was restored: the question was answered No.";
    }
    if (!ending.why.isEmpty())
        log.Append("RESTORE REFUSED: " + ending.why + "\r\n");
    log.AppendSeparator();
    return ending;
}

QByteArray InstalledVersion(const QString& vantoFolder) {
    return VersionFiles::InstalledVersionText(
        QDir(vantoFolder).filePath(QString::fromLatin1(FolderPaths::installedVersion)),
        VersionFiles::Missing::LeftMissing);
}

bool InstallOffered(const std::optional<ReleaseList>& list, const QString& vantoFolder) {
    return list && !list->installable.isEmpty() &&
           !VersionFiles::SameVersion(InstalledVersion(vantoFolder), list->offeredVersion);
}

QByteArray Program(const QString& vantoFolder, const QByteArray& listed) {
    QByteArray program = listed;
    try {
        if (FolderSwap::Present(vantoFolder)) {
            const auto record = FolderSwap(vantoFolder, {}).Installed();
            if (record && !record->program.isEmpty())
                program = record->program;
        }
    } catch (const RuntimeError&) {
        // A damaged record is a restore's or an install's own refusal, said there.
    }
    struct stat st {};
    const bool there =
        !program.isEmpty() &&
        ::lstat(
            QFile::encodeName(QDir(vantoFolder).filePath(QString::fromUtf8(program))).constData(),
            &st) == 0 &&
        S_ISREG(st.st_mode);
    return there ? program : QByteArray();
}

QString SavedInstallable(const std::optional<ReleaseList>& list) {
    if (!list || list->installable.isEmpty())
        return {};
    const QString path = SeedArchive::For({});
    if (path.isEmpty() || !InstallableArchive(path, *list, InstallableArchive::Reading::VerdictOnly)
                               .Problem()
                               .isEmpty())
        return {};
    return path;
}

QByteArray KeptVersion(const QString& vantoFolder) {
    if (!FolderSwap::Present(vantoFolder))
        return {};
    // Why it cannot be read was said at start; here it is simply none.
    try {
        return FolderSwap(vantoFolder, {}).PreviousVersion().value_or(QByteArray());
    } catch (const RuntimeError&) {
        return {};
    }
}

} // namespace InstallCheck
