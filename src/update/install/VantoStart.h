// Starting VANTO again after an install that found it running, or when the
// user asks: as the user running KORU, detached from KORU (a session of its
// own, so it outlives KORU and gets no signal meant for KORU's terminal),
// with stdin, stdout and stderr on /dev/null and VANTO's folder as its
// working folder, as VANTO expects when started from its own shortcut.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace VantoStart {

// Starts `program`, relative to `vantoFolder` as the release list names it.
// Answers why it did not start, as a sentence; empty when it started.
QByteArray Start(const QString& vantoFolder, const QByteArray& program,
                 const QStringList& arguments = {});

} // namespace VantoStart
