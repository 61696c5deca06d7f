#include "platform/runtime/FileAccess.h"

#include "platform/runtime/RuntimeError.h"

#include <QDir>
#include <QFileInfo>

namespace {

[[noreturn]] void raiseFileError(const RuntimeErrorCode& code, const QString& path) {
    throw RuntimeError(code, QFile::encodeName(path));
}

[[noreturn]] void raiseOpenError(const QString& path) {
    if (!QFileInfo(path).absoluteDir().exists())
        raiseFileError(RuntimeErrors::pathNotFound, path);
    raiseFileError(RuntimeErrors::pathFileAccess, path);
}

} // namespace

BinaryFile::BinaryFile(const QString& path) : file_(path) {
    // Without an access mode the runtime settles for reading when writing is
    // refused, so a VANTO installed read-only can still be read; a write then fails.
    if (!file_.open(QIODevice::ReadWrite) &&
        (!QFileInfo::exists(path) || !file_.open(QIODevice::ReadOnly)))
        raiseOpenError(path);
}

qint64 BinaryFile::Length() const {
    return file_.size();
}

QByteArray BinaryFile::Get(qint64 position, qint64 count) {
    if (position < 1 || count < 0)
        raiseFileError(RuntimeErrors::badRecordNumber, file_.fileName());
    if (!file_.seek(position - 1))
        return {};
    return file_.read(count);
}

void BinaryFile::Put(qint64 position, const QByteArray& bytes) {
    if (position < 1)
        raiseFileError(RuntimeErrors::badRecordNumber, file_.fileName());
    if (!file_.seek(position - 1) || file_.write(bytes) != bytes.size())
        raiseFileError(RuntimeErrors::pathFileAccess, file_.fileName());
}

void BinaryFile::Close() {
    if (file_.isOpen() && !file_.flush())
        raiseFileError(RuntimeErrors::pathFileAccess, file_.fileName());
    file_.close();
}

TextFile::TextFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path))
            raiseFileError(RuntimeErrors::fileNotFound, path);
        raiseOpenError(path);
    }
    contents_ = file.readAll();
}

TextFile TextFile::FromText(QByteArray text) {
    TextFile file;
    file.contents_ = std::move(text);
    return file;
}

QByteArray TextFile::LineInput() {
    if (AtEnd())
        raiseFileError(RuntimeErrors::inputPastEnd, {});
    qsizetype end = contents_.indexOf('\r', position_);
    if (end < 0)
        end = contents_.size();
    QByteArray line = contents_.mid(position_, end - position_);
    position_ = end + 1;
    if (position_ < contents_.size() && contents_[position_] == '\n')
        ++position_;
    return line;
}

void Kill(const QString& path) {
    if (!QFileInfo::exists(path))
        raiseFileError(RuntimeErrors::fileNotFound, path);
    if (!QFile::remove(path))
        raiseFileError(RuntimeErrors::pathFileAccess, path);
}
