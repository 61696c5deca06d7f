// The release list a publisher signs (files/koru/release.txt): what the server
// offers and every file KORU may fetch, with its length and BLAKE2b-256 hash.
// A line-based text meant to be written by hand as well as by koru-publish:
//
//   koru-release 1
//   serial 42
//   expires 2027-01-06T12:00:00Z
//   vanto 02.14
//   epoch 0
//   file 1234 <64 hex digits> koru/vanto_ver.txt
//   install vanto.zip
//   program bin/vanto
//
// Lines end in LF or CR LF; empty lines and lines starting with '#' are
// skipped; the fields after the first line come in any order, each once.
// A field this KORU does not know is skipped, so a later publisher may add
// fields without breaking it; a known field with a bad value is refused.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>

struct ReleaseList {
    static constexpr qsizetype maximumSize = 16 * 1024;
    static constexpr int formatVersion = 1;
    static constexpr qsizetype hashSize = 32;

    struct Entry {
        QByteArray path; // under the server's files/, as "koru/vanto_ver.txt"
        qint64 length = 0;
        QByteArray hash; // 32 bytes
    };

    qint64 serial = 0;
    QDateTime expires; // UTC, to the second
    QByteArray offeredVersion;
    qint64 epoch = 0; // of the key that signs the list
    QList<Entry> files;
    // The listed archive the publisher marks as an image of VANTO's folder;
    // empty when none is.
    QByteArray installable;
    // VANTO's program file, relative to VANTO's folder, so that KORU can tell
    // whether VANTO runs while it installs; empty when the list names none.
    // Only a list with an installable archive may name it.
    QByteArray program;
    // Why the text is no release list: a sentence for the log; empty when valid.
    QByteArray problem;

    bool Valid() const { return problem.isEmpty(); }

    // Any bytes give a list or a reason.
    static ReleaseList Parse(const QByteArray& text);
    // The text Parse reads back, with LF line ends.
    QByteArray Text() const;

    // The trusted comment the list's signature carries, naming its own serial
    // and epoch so that no other signed text can stand in for it.
    QByteArray SignedComment() const;

    // The entry for a path under files/ ("vanto.zip"); nothing when unlisted.
    const Entry* Find(const QByteArray& filesPath) const;

    // "2027-01-06T12:00:00Z"
    static QByteArray TimeText(const QDateTime& time);
    // True for a path a list may name: printable, relative, no empty, "." or
    // ".." part, no backslash.
    static bool IsListedPath(const QByteArray& filesPath);
};
