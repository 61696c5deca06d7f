// The plan of one swap in VANTO's folder, written whole before the first
// rename, and the record a commit writes. Both are text, one line per item,
// with a format number (a restore may bring back an older KORU) and a last
// line "end", so a damaged file is told from a whole one.
#pragma once

#include <QByteArray>
#include <QList>
#include <optional>

struct SwapPlan {
    static constexpr int format = 1;

    // One file that comes in, leaves, or both. Inodes tell, after a crash,
    // which of the two files a path holds.
    struct File {
        qint64 number = 0; // the name "fN" the file it replaces takes aside
        QByteArray source; // its name in the source folder; empty for a file that only leaves
        quint64 sourceInode = 0;
        quint64 oldInode = 0; // what the path held; 0 for nothing
        QByteArray path;

        bool Arrives() const { return !source.isEmpty(); }
        bool Leaves() const { return oldInode != 0; }
    };

    QByteArray token; // ties the commit record to this plan
    QByteArray kind;  // "install" or "restore"
    QByteArray from;  // the folder of the arriving files, relative to VANTO's
    QByteArray oldVersion;
    QByteArray newVersion;
    QList<QByteArray> createdFolders; // before the files, each after its parent
    QList<QByteArray> removedFolders; // after the files, if empty then, deepest first
    QList<File> files;                // in the order moved; VANTO.ini last
    QList<QByteArray> installed;      // the files KORU will have put in the folder
    QByteArray program;               // VANTO's program in the version arriving; not in the text

    QByteArray Text() const;
    // Nothing when the text is not a whole plan of a format this KORU reads.
    static std::optional<SwapPlan> Parse(const QByteArray& text);

    // What a commit records: the plan's token, the version it installed, the
    // files it put there and the program a running VANTO runs (none in the
    // records of older KORUs).
    struct Record {
        QByteArray token;
        QByteArray version;
        QList<QByteArray> files;
        QByteArray program;

        QByteArray Text() const;
        static std::optional<Record> Parse(const QByteArray& text);
    };
    Record Committed() const { return {token, newVersion, installed, program}; }
};
