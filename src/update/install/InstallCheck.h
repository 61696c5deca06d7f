// The one install path of every front end: install --check's vetting of the
// archive named, or the last one KORU saved, against the run's freshly
// verified release list, changing nothing; the install, which then asks,
// waits for a running VANTO as the front end decides and swaps it in; and the
// restore. Each phase is written to the log as it ends, the same lines
// whichever front end runs it; staging's digits go to the front end's own
// progress handler. It asks nothing itself: the front end answers its
// questions through the callbacks it passes.
#pragma once

#include "update/formats/JobLog.h"
#include "update/install/UpdateInstaller.h"
#include "update/trust/ReleaseList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class RunningVanto;

namespace InstallCheck {

struct Result {
    bool installable = false;
    QList<QByteArray> lines;
    QByteArray why; // of a refusal
};

// `listMissing`: the run's check found no release list on the server.
Result Run(const QString& archive, const std::optional<ReleaseList>& list, bool listMissing,
           const QString& vantoFolder);

// How a front end meets a VANTO running before the swap: empty once it is
// closed, else why nothing is installed; `say` writes to the log.
using AwaitClosed = std::function<QByteArray(const RunningVanto& vanto,
                                             const std::function<void(const QByteArray&)>& say)>;

struct Ending {
    QByteArray why;            // empty when it was done
    bool vantoRunning = false; // why: VANTO still runs
    bool vantoClosed = false;  // VANTO ran and was closed for it, so may be started again
};

// A Yes/No question under its title, as the front end asks it: true for Yes.
using Ask = std::function<bool(const QByteArray& question, const QByteArray& title)>;

// Vets as Run does, sees that VANTO is closed, asks and installs; the log gets
// each phase, then the refusal and a separator; `progress` is told of staging.
Ending Install(const QString& archive, const std::optional<ReleaseList>& list, bool listMissing,
               const QString& vantoFolder, JobLog& log, const AwaitClosed& awaitClosed,
               const Ask& ask, const UpdateInstaller::Progress& progress = {});
// Meets a running VANTO (its Program), asks, then swaps the kept version back.
Ending Restore(const QString& vantoFolder, const QByteArray& listed, JobLog& log,
               const AwaitClosed& awaitClosed, const Ask& ask);

// The version of the VANTO in the folder, as its VANTO.ini says.
QByteArray InstalledVersion(const QString& vantoFolder);
// VANTO's program in the folder: the one the installed version's install
// recorded, else `listed`, as the list names it; empty when no such regular
// file is there.
QByteArray Program(const QString& vantoFolder, const QByteArray& listed);
// Whether `list` offers an archive to install over the VANTO in the folder:
// one marked installable, of another version than the one installed.
bool InstallOffered(const std::optional<ReleaseList>& list, const QString& vantoFolder);
// The archive saved last, when `list` marks it installable and its bytes
// still match; empty otherwise.
QString SavedInstallable(const std::optional<ReleaseList>& list);
// The version a restore would bring back; empty when none is kept.
QByteArray KeptVersion(const QString& vantoFolder);

} // namespace InstallCheck
