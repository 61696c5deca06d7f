// The folders an archive's names need, each once, parents before children.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>

// Folders gathered once each, parents before children, however many paths
// share them: deep archives cost their distinct folders, not entries × depth.
class ImpliedFolders {
public:
    // Adds `path`'s parents, and `path` itself when `isFolder`; answers the
    // folders new to the list, parents first.
    QList<QByteArray> Add(const QByteArray& path, bool isFolder);
    const QList<QByteArray>& List() const { return list_; }
    qint64 NameBytes() const { return bytes_; }

private:
    QList<QByteArray> list_;
    QSet<QByteArray> seen_;
    qint64 bytes_ = 0;
};
