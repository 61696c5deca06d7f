#include "support/TreeSnapshot.h"

#include "support/TestFiles.h"

#include <QDirIterator>
#include <QFile>
#include <algorithm>
#include <sys/stat.h>

TreeSnapshot SnapshotOf(const QString& root, const QStringList& skipped) {
    TreeSnapshot tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next().mid(root.size() + 1);
        if (std::any_of(skipped.begin(), skipped.end(),
                        [&](const QString& skip) { return path.startsWith(skip); }))
            continue;
        struct stat st {};
        ::lstat(QFile::encodeName(it.filePath()).constData(), &st);
        tree[path] = QByteArray::number(st.st_mode, 8) + ' ' +
                     (S_ISREG(st.st_mode) ? ReadFile(it.filePath()) : QByteArray());
    }
    return tree;
}
