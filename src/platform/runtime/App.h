// The runtime's App object and Command(): where the program lives, whether
// another copy runs for the same folder, and the command line as one text.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace App {

// The program's folder without a trailing separator. KORU_HOME overrides the
// executable's folder, for portable installs, the demo and tests.
QString Path();

// Sets the folder explicitly (tests); an empty text goes back to the default.
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
