#include "platform/runtime/App.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString explicitPath;
QString homeOption;
QByteArray commandLine;
int lockFd = -1;
bool otherInstance = false;
bool lockChecked = false;

QString cleanPath(const QString& path) {
    QString clean = QDir::cleanPath(QDir(path).absolutePath());
    while (clean.size() > 1 && clean.endsWith(u'/'))
        clean.chop(1);
    return clean;
}

} // namespace

QString App::Path() {
    if (!explicitPath.isEmpty())
        return explicitPath;
    const QString program = QCoreApplication::instance() != nullptr
                                ? QCoreApplication::applicationDirPath()
                                : QString();
    return LocatePath(program, homeOption, QFile::decodeName(qgetenv("KORU_HOME")),
                      QDir::currentPath());
}

QString App::LocatePath(const QString& programFolder, const QString& home, const QString& koruHome,
                        const QString& currentFolder) {
    // KORU copied into VANTO's folder works there whatever else is set.
    if (!programFolder.isEmpty() &&
        QFileInfo(programFolder + QStringLiteral("/VANTO.ini")).isFile())
        return cleanPath(programFolder);
    for (const QString& folder : {home, koruHome})
        if (!folder.isEmpty())
            return cleanPath(folder);
    return cleanPath(currentFolder);
}

void App::SetHome(const QString& path) {
    homeOption = path.isEmpty() ? QString() : cleanPath(path);
}

void App::SetPath(const QString& path) {
    explicitPath = path.isEmpty() ? QString() : cleanPath(path);
}

bool App::PrevInstance() {
    if (lockChecked)
        return otherInstance;
    lockChecked = true;
    // flock rather than a PID file: the kernel drops it with the process, so a
    // crashed KORU never leaves the folder locked.
    const QByteArray lockPath = QFile::encodeName(Path() + QStringLiteral("/.koru.lock"));
    lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lockFd < 0)
        return otherInstance = false; // a read-only folder cannot be shared anyway
    if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
        ::close(lockFd);
        lockFd = -1;
        otherInstance = true;
    }
    return otherInstance;
}

void App::ReleaseInstance() {
    if (lockFd >= 0) {
        ::close(lockFd);
        lockFd = -1;
    }
    lockChecked = false;
    otherInstance = false;
}

QByteArray Command() {
    return commandLine;
}

void SetCommand(const QStringList& arguments) {
    commandLine = arguments.join(u' ').toLocal8Bit();
}
