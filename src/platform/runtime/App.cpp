#include "platform/runtime/App.h"

#include "platform/runtime/FolderLock.h"
#include "platform/runtime/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <memory>

namespace {

QString explicitPath;
QString homeOption;
QByteArray commandLine;
std::unique_ptr<FolderLock> instanceLock;
bool otherInstance = false;
bool lockChecked = false;

QString cleanPath(const QString& path) {
    // Resolved once here: a folder reached through a link (/opt/vanto ->
    // /opt/vanto-2.13) is worked on where it is, and nothing beneath it is
    // reached through a link.
    QString clean = QFileInfo(path).canonicalFilePath();
    if (clean.isEmpty())
        clean = QDir::cleanPath(QDir(path).absolutePath());
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
    // Every running copy holds a shared lock on the folder's instance file for
    // its life, taken before it looks: of two copies starting together, the
    // later look sees the other. Looking takes nothing, so it disturbs no one.
    try {
        instanceLock = std::make_unique<FolderLock>(Path(), "instance");
        if (!instanceLock->TryLock(FolderLock::Shared))
            qWarning("KORU: cannot take the instance lock %s",
                     qUtf8Printable(instanceLock->FilePath()));
        otherInstance = instanceLock->HeldElsewhere();
    } catch (const RuntimeError& e) {
        qWarning("KORU: no instance lock, so other copies go unseen: %s (%s)",
                 e.Description().constData(), e.Source().constData());
        otherInstance = false;
    }
    return otherInstance;
}

void App::ReleaseInstance() {
    instanceLock.reset();
    lockChecked = false;
    otherInstance = false;
}

QByteArray Command() {
    return commandLine;
}

void SetCommand(const QStringList& arguments) {
    commandLine = arguments.join(u' ').toLocal8Bit();
}
