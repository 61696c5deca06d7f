// The runtime's App object and Command(): where the program lives, whether
// another copy runs for the same folder, and the command line as one text.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace App {

// VANTO's folder, where KORU works, without a trailing separator and with
// links resolved: the
// program's own folder when it holds VANTO.ini (KORU lives in VANTO's folder),
// otherwise the folder given with SetHome (--home), then KORU_HOME, then the
// current folder.
QString Path();

// The rule of Path() on given folders; empty ones are not given.
QString LocatePath(const QString& programFolder, const QString& home, const QString& koruHome,
                   const QString& currentFolder);

// The folder --home names; an empty text clears it.
void SetHome(const QString& path);

// Sets the folder over every rule (tests); an empty text goes back to them.
void SetPath(const QString& path);

// True when another running KORU works on this program's folder. The first
// call takes this copy's share of the folder's instance lock and keeps it for
// the process's life (the kernel drops it when the process dies), so every
// running copy counts; later calls answer the first one's finding.
bool PrevInstance();

// Releases the instance lock (tests that play two instances in one process).
void ReleaseInstance();

} // namespace App

// The command line after the program name, arguments joined by one blank.
QByteArray Command();
void SetCommand(const QStringList& arguments);
