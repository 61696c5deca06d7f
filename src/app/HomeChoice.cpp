#include "app/HomeChoice.h"

#include "platform/runtime/FileDialog.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

constexpr char homeKey[] = "home=";

} // namespace

bool HomeChoice::Installed(const QString& programFolder) {
    return QFileInfo(programFolder).fileName() == u"bin" &&
           QFileInfo(programFolder + QStringLiteral("/../share/doc/koru-cli/copyright")).isFile();
}

bool HomeChoice::Needed(const QString& programFolder, const QString& home, const QString& koruHome,
                        const QString& currentFolder) {
    return Installed(programFolder) && home.isEmpty() && koruHome.isEmpty() &&
           !HoldsVanto(programFolder) && !HoldsVanto(currentFolder);
}

QString HomeChoice::ForStart(const QString& home, bool chooseAgain, bool mayAsk, bool& cancelled) {
    cancelled = false;
    if (!chooseAgain && !Needed(QCoreApplication::applicationDirPath(), home,
                                QFile::decodeName(qgetenv("KORU_HOME")), QDir::currentPath()))
        return {};
    QString folder = chooseAgain ? QString() : Remembered();
    if (!HoldsVanto(folder))
        folder = mayAsk ? Ask() : QString();
    cancelled = folder.isEmpty();
    return folder;
}

QByteArray HomeChoice::NoFolderLine() {
    const QString remembered = Remembered();
    return "no VANTO.ini in " + QFile::encodeName(QDir::currentPath()) +
           (remembered.isEmpty() ? QByteArray()
                                 : " nor in the remembered " + QFile::encodeName(remembered)) +
           "; point KORU at VANTO's folder with --home DIR or KORU_HOME=DIR, or remember it "
           "with koru --choose-home";
}

bool HomeChoice::HoldsVanto(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(folder + QStringLiteral("/VANTO.ini")).isFile();
}

QString HomeChoice::ConfigFile() {
    QString config = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (!QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/koru/koru.conf");
}

QString HomeChoice::Remembered() {
    QFile file(ConfigFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith(homeKey))
            return QFile::decodeName(line.mid(qsizetype(sizeof homeKey) - 1));
    }
    return {};
}

void HomeChoice::Remember(const QString& folder) {
    const QString path = ConfigFile();
    QSaveFile file(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(homeKey + QFile::encodeName(folder) + '\n') < 0 || !file.commit())
        throw RuntimeError(RuntimeErrors::pathFileAccess,
                           "Cannot remember VANTO's folder in " + path.toLocal8Bit() + ": " +
                               file.errorString().toLocal8Bit(),
                           "HomeChoice");
}

QString HomeChoice::Ask() {
    FileDialogRequest request;
    request.folder = true;
    request.title = "Choose VANTO's folder (the one holding VANTO.ini)";
    request.initialDir = QDir::homePath();
    for (;;) {
        const FileDialogResult answer = ShowFileDialog(request);
        if (!answer.chosen)
            return {};
        const QString folder = QDir::cleanPath(QDir(answer.path).absolutePath());
        if (HoldsVanto(folder)) {
            Remember(folder);
            return folder;
        }
        MsgBox(QFile::encodeName(folder) + " holds no VANTO.ini.\r\nChoose VANTO's folder.",
               vbOKOnly | vbCritical);
        request.initialDir = folder;
    }
}
