// Zip archives for the install tests, written by libzip and then patched
// byte by byte where a row needs what no honest writer makes: a method,
// a flag, a declared size or a name, changed alike in the entry's local
// header and in the central directory.
#pragma once

#include <QByteArray>
#include <QList>
#include <sys/types.h>

class TestZip {
public:
    // A file with its Unix mode (0: libzip's default), compressed.
    TestZip& File(const QByteArray& name, const QByteArray& content, mode_t mode = 0);
    TestZip& Folder(const QByteArray& name);
    // Empty folders named d0/, d1/, ...
    TestZip& Folders(int count);
    // An archive of only `count` such folders, written here in zip64 form:
    // libzip takes seconds for a hundred thousand entries.
    static QByteArray ManyFolders(int count);

    enum class Field { Flags, Method, Size };
    // Sets the field of every entry named `name`.
    TestZip& Patch(const QByteArray& name, Field field, quint32 value);
    // Renames an entry to a name of the same length.
    TestZip& Rename(const QByteArray& name, const QByteArray& to);
    // Gives the last entry an Info-ZIP Unicode Path field naming it
    // `unicodeName`, with the checksum of its header's name.
    TestZip& UnicodePath(const QByteArray& unicodeName);

    QByteArray Bytes() const;

private:
    struct Item {
        QByteArray name;
        QByteArray content;
        mode_t mode = 0;
        bool folder = false;
        QByteArray unicodePath; // the field's data
    };
    struct Change {
        QByteArray name;
        Field field;
        quint32 value;
        QByteArray newName;
    };
    QList<Item> items_;
    QList<Change> changes_;
};

// VANTO.ini whose version field holds `version`.
QByteArray IniWithVersion(const QByteArray& version);
