#include "platform/runtime/OpenSave.h"

#include "platform/runtime/App.h"
#include "platform/runtime/FileDialog.h"
#include "platform/runtime/RuntimeError.h"

#include <QFile>
#include <algorithm>

namespace {

constexpr int titleCapacity = 260;

// What the dialog writes into a caller's buffer: the text and its NUL over
// the buffer's start; whatever lay beyond stays.
QByteArray WrittenOver(QByteArray buffer, const QByteArray& text) {
    const QByteArray written = text + '\0';
    if (buffer.size() < written.size())
        buffer.resize(written.size());
    buffer.replace(0, written.size(), written);
    return buffer;
}

// Leading and trailing blanks go; NULs stay.
QByteArray WithoutBlanks(const QByteArray& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == ' ')
        ++first;
    while (last > first && text[last - 1] == ' ')
        --last;
    return text.mid(first, last - first);
}

QList<FileDialogFilter> FilterPairs(const QByteArray& stored) {
    // The list ends at the first empty description, as the dialog reads it.
    QList<FileDialogFilter> pairs;
    const QList<QByteArray> parts = stored.split('\0');
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2)
        pairs.append({parts[i], parts[i + 1]});
    return pairs;
}

// Offset of the extension in the path: just after the last dot of the file
// name, or the path's length when the name has none.
std::int16_t ExtensionOffset(const QByteArray& path) {
    const qsizetype slash = std::max(path.lastIndexOf('/'), path.lastIndexOf('\\'));
    const qsizetype dot = path.lastIndexOf('.');
    return std::int16_t(dot > slash ? dot + 1 : path.size());
}

} // namespace

QByteArray TextBeforeNul(const QByteArray& text) {
    const qsizetype nul = text.indexOf('\0');
    return nul < 0 ? text : text.left(nul);
}

OpenSave::OpenSave() : initDir_(QFile::encodeName(App::Path())) {
    SetFilter("SNES|*.smc;*.swc;*.fig|All Files (*.*)|*.*");
}

QByteArray OpenSave::Filter() const {
    QByteArray text = filter_;
    text.replace('\0', '|');
    for (int i = 0; i < 2; ++i)
        if (text.endsWith('|'))
            text.chop(1);
    return text;
}

void OpenSave::SetFilter(const QByteArray& value) {
    filter_ = value;
    filter_.replace('|', '\0');
    for (int i = 0; i < 2; ++i)
        if (!filter_.endsWith(QByteArray(2, '\0')))
            filter_.append('\0');
}

void OpenSave::ShowSave() {
    ShowDialog(true);
}

void OpenSave::ShowOpen() {
    ShowDialog(false);
}

void OpenSave::ShowDialog(bool save) {
    const qsizetype padding = qsizetype(maxFileSize_) - fileName_.size() + 1;
    if (padding < 0)
        throw RuntimeError(RuntimeErrors::invalidCall, "Run-time error");
    const QByteArray fileBuffer = fileName_ + QByteArray(padding, '\0');
    const QByteArray titleBuffer = fileTitle_ + QByteArray(256, ' ');

    FileDialogRequest request;
    request.save = save;
    request.title = dialogTitle_;
    request.initialDir = QFile::decodeName(initDir_);
    request.initialName = QFile::decodeName(TextBeforeNul(fileName_));
    request.filters = FilterPairs(filter_);
    request.filterIndex = filterIndex_;
    FileDialogResult result = ShowFileDialog(request);

    const QByteArray path = QFile::encodeName(result.path);
    const QByteArray title = QFile::encodeName(result.path.section(u'/', -1));
    // A path that does not fit the buffers fails the dialog, as the platform's does.
    if (result.chosen &&
        (path.isEmpty() || path.size() >= maxFileSize_ || title.size() >= titleCapacity))
        result.chosen = false;
    if (!result.chosen) {
        if (cancelError_)
            throw RuntimeError(RuntimeErrors::cancelSelected, "Run-time error");
        return;
    }
    fileName_ = WithoutBlanks(WrittenOver(fileBuffer, path));
    fileTitle_ = WithoutBlanks(WrittenOver(titleBuffer, title));
    fileExt_ = ExtensionOffset(path);
    filter_ = WithoutBlanks(filter_);
    initDir_ = WithoutBlanks(initDir_);
    filterIndex_ = std::int16_t(result.filterIndex);
}
