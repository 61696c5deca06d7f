// What a vetted archive would install into VANTO's folder: each entry with the
// path it takes there, and the totals koru-cli shows. A plan with a problem
// is a refused archive, the reason naming the entry.
#pragma once

#include <QByteArray>
#include <QList>
#include <sys/types.h>

struct InstallPlan {
    struct Entry {
        QByteArray path;   // relative to VANTO's folder, without a final '/'
        qint64 index = -1; // in the archive
        bool folder = false;
        qint64 size = 0;       // as declared; an entry never inflates past it
        mode_t mode = 0;       // as installed
        bool replaces = false; // a file of VANTO's folder it takes the place of
        qint64 replacedSize = 0;
    };

    QList<Entry> entries;
    QByteArray problem;

    bool Installable() const { return problem.isEmpty(); }
    qint64 Files() const;
    qint64 Bytes() const;
    qint64 Replaced() const;

    // The lines koru-cli shows: one per file and the totals.
    QList<QByteArray> Lines() const;
};
