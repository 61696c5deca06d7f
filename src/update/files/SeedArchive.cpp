#include "update/files/SeedArchive.h"

#include "platform/runtime/ReplaceFile.h"
#include "platform/runtime/RuntimeError.h"
#include "update/files/StateFolder.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString RecordPath() {
    return StateFolder::File(QStringLiteral("last-archive"));
}

// "size mtime-in-ms" of a regular file that holds something; empty otherwise.
QByteArray Stamp(const QFileInfo& info) {
    if (!info.isFile() || info.size() <= 0)
        return {};
    return QByteArray::number(info.size()) + ' ' +
           QByteArray::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

QString SeedArchive::For(const QString& target) {
    if (!Stamp(QFileInfo(target)).isEmpty())
        return target;
    QFile record(RecordPath());
    if (!record.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stamp = record.readLine(64).trimmed();
    const QString path = QFile::decodeName(record.readLine(8192).trimmed());
    if (path.isEmpty() || stamp.isEmpty() || Stamp(QFileInfo(path)) != stamp)
        return {};
    return path;
}

void SeedArchive::Remember(const QString& path) {
    const QString record = RecordPath();
    const QFileInfo info(path);
    const QByteArray stamp = Stamp(info);
    if (record.isEmpty() || stamp.isEmpty() || !QDir().mkpath(QFileInfo(record).absolutePath()))
        return;
    try {
        ReplaceFile(record, stamp + '\n' + QFile::encodeName(info.absoluteFilePath()) + '\n');
    } catch (const RuntimeError&) {
        // Only a later delta update depends on it; that one downloads in full.
    }
}
