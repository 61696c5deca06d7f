#include "update/formats/HelpLinksList.h"

#include "platform/runtime/FileAccess.h"

#include <QFile>
#include <algorithm>
#include <climits>

namespace {
constexpr qsizetype stampSize = 6;
} // namespace

HelpLinksList HelpLinksList::Read(const QString& path) {
    TextFile file(path);
    return Read(file);
}

HelpLinksList HelpLinksList::Parse(const QByteArray& text) {
    TextFile file = TextFile::FromText(text);
    return Read(file);
}

HelpLinksList HelpLinksList::Read(TextFile& file) {
    HelpLinksList list;
    // An empty list has no line 1 to read; it stands for a blank stamp.
    const QByteArray first = file.AtEnd() ? QByteArray() : file.LineInput();
    list.stamp = first.left(stampSize).leftJustified(stampSize, ' ');
    while (!file.AtEnd())
        list.items.append(file.LineInput());
    return list;
}

bool HelpLinksList::IsFileName(const QByteArray& name) {
    // ".." needs no rule of its own: the ending always follows it.
    if (name.isEmpty() || name.contains('/') || name.contains('\\'))
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7F;
    });
}

bool HelpLinksList::FitsFolder(const QString& helpFolder, const QByteArray& name) {
    // Both endings have four bytes.
    constexpr qsizetype endingSize = 4;
    if (!IsFileName(name) || QFile::encodeName(QFile::decodeName(name)) != name)
        return false;
    return name.size() + endingSize <= NAME_MAX &&
           QFile::encodeName(ItemPath(helpFolder, name, ".txt")).size() < PATH_MAX;
}

QString HelpLinksList::ItemPath(const QString& helpFolder, const QByteArray& name,
                                const char* ending) {
    return helpFolder + u'/' + QFile::decodeName(name + ending);
}

QByteArray HelpLinksList::PathSegment(const QByteArray& name) {
    // Unreserved characters stay as they are, and so do the sub-delimiters,
    // ':' and '@', which a path segment allows unescaped.
    return name.toPercentEncoding("!$&'()*+,;=:@");
}
