#include "update/install/ImpliedFolders.h"

#include <algorithm>

QList<QByteArray> ImpliedFolders::Add(const QByteArray& path, bool isFolder) {
    // Deepest first, stopping at a folder seen before: its parents were too.
    QList<QByteArray> fresh;
    if (isFolder && !seen_.contains(path))
        fresh << path;
    for (qsizetype slash = path.lastIndexOf('/'); slash > 0;
         slash = path.lastIndexOf('/', slash - 1)) {
        const QByteArray parent = path.left(slash);
        if (seen_.contains(parent))
            break;
        fresh << parent;
    }
    std::reverse(fresh.begin(), fresh.end());
    for (const QByteArray& folder : fresh) {
        seen_.insert(folder);
        list_ << folder;
        bytes_ += folder.size();
    }
    return fresh;
}
