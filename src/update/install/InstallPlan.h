// What a vetted archive would install into VANTO's folder: each entry with the
// path it takes there, and the totals koru-cli shows. A plan with a problem
// is a refused archive, the reason naming the entry.
#pragma once

#include <QByteArray>
#include <QList>
#include <limits>
#include <sys/types.h>

struct InstallPlan {
    // Larger declared sizes count as this, which no disk has room for.
    static constexpr qint64 maximumSize = std::numeric_limits<qint64>::max() / 4;

    struct Entry {
        QByteArray path;   // relative to VANTO's folder, without a final '/'
        qint64 index = -1; // in the archive
        bool folder = false;
        qint64 size = 0;       // as declared, at most maximumSize; never inflated past
        mode_t mode = 0;       // as installed
        bool replaces = false; // a file of VANTO's folder it takes the place of
        qint64 replacedSize = 0;
    };

    QList<Entry> entries;
    // Every folder the entries need, each once, parents first.
    QList<QByteArray> folders;
    QByteArray problem;

    bool Installable() const { return problem.isEmpty(); }
    qint64 Files() const;
    qint64 Bytes() const;
    qint64 Replaced() const;

    // The lines koru-cli shows: one per file and the totals.
    QList<QByteArray> Lines() const;

    // "1 file", "2 files": a count as the log's lines give it.
    static QByteArray Counted(qint64 count, const char* noun);
};
