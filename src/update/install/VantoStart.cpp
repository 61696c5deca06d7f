#include "update/install/VantoStart.h"

#include "update/install/RunningVanto.h"

#include <QFile>
#include <QProcess>

namespace VantoStart {

QByteArray Start(const QString& vantoFolder, const QByteArray& program,
                 const QStringList& arguments) {
    if (program.isEmpty())
        return "VANTO cannot be started: the release list names no program for it.";
    const QString path = RunningVanto(vantoFolder, program).Path();
    QProcess vanto;
    vanto.setProgram(path);
    vanto.setArguments(arguments);
    vanto.setWorkingDirectory(vantoFolder);
    vanto.setStandardInputFile(QProcess::nullDevice());
    vanto.setStandardOutputFile(QProcess::nullDevice());
    vanto.setStandardErrorFile(QProcess::nullDevice());
    // Qt starts a detached process in a session of its own.
    if (!vanto.startDetached())
        return "VANTO could not be started from " + QFile::encodeName(path) + ": " +
               vanto.errorString().toUtf8() + '.';
    return {};
}

} // namespace VantoStart
