#include "platform/runtime/FileListBox.h"

#include <QDir>
#include <QFile>

void FileListBox::SetPath(const QString& path) {
    path_ = path;
    Refresh();
}

void FileListBox::SetPattern(const QString& pattern) {
    pattern_ = pattern;
    Refresh();
}

QByteArray FileListBox::List(int index) const {
    return names_.value(index);
}

void FileListBox::Refresh() {
    names_.clear();
    if (path_.isEmpty())
        return;
    QDir folder(path_);
    folder.setNameFilters({pattern_ == u"*.*" ? QStringLiteral("*") : pattern_});
    folder.setFilter(QDir::Files);
    folder.setSorting(QDir::Name | QDir::IgnoreCase);
    for (const QString& name : folder.entryList())
        names_.append(QFile::encodeName(name));
}
