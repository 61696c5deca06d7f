#include "platform/runtime/ReplaceFile.h"

#include "platform/runtime/RuntimeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

void ReplaceFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return;
    file.cancelWriting();
    if (!QFileInfo(path).absoluteDir().exists())
        throw RuntimeError(RuntimeErrors::pathNotFound, QFile::encodeName(path));
    throw RuntimeError(RuntimeErrors::pathFileAccess, QFile::encodeName(path));
}
