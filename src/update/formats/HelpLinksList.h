// The server's help-links list as the update reads it back from the scratch
// copy: the set's 6-character stamp and one item name per further line, with
// the rules that keep an item name from reaching outside the help folder or
// breaking the request line.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class TextFile;

struct HelpLinksList {
    QByteArray stamp;        // line 1, cut or padded with blanks to 6 characters
    QList<QByteArray> items; // every further line; an empty line is an empty name

    // Reads a list file; an empty file gives a blank stamp and no items.
    static HelpLinksList Read(const QString& path);
    // The same from the list's text.
    static HelpLinksList Parse(const QByteArray& text);

    // True when the name can stand as a file name in the help folder: not
    // empty, no folder separator, no control character.
    static bool IsFileName(const QByteArray& name);

    // True when the item's files can be saved in `helpFolder` under the
    // name's own bytes: a file name that the program's file names carry
    // unchanged, short enough with its ending for the file system (NAME_MAX)
    // and within PATH_MAX as a whole path.
    static bool FitsFolder(const QString& helpFolder, const QByteArray& name);

    // The path of the item's file with `ending` (".txt" or ".gif").
    static QString ItemPath(const QString& helpFolder, const QByteArray& name, const char* ending);

    // The name as it goes into a request path: every byte outside the
    // characters a path segment allows is percent-encoded.
    static QByteArray PathSegment(const QByteArray& name);

private:
    static HelpLinksList Read(TextFile& file);
};
