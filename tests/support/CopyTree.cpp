#include "support/CopyTree.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

void CopyTree(const QString& from, const QString& to) {
    QDirIterator files(from, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString source = files.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).path());
        QFile::copy(source, target);
    }
}
