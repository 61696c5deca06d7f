#include "update/install/EntryRules.h"

#include "update/formats/FolderPaths.h"

#include <QList>
#include <QStringDecoder>
#include <algorithm>
#include <climits>
#include <sys/stat.h>

namespace EntryRules {

namespace {

bool IsUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    return !decoder.hasError();
}

bool HasControl(const QByteArray& bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

} // namespace

QByteArray NameProblem(const QByteArray& name) {
    if (!IsUtf8(name))
        return "has a name that is not UTF-8";
    if (HasControl(name))
        return "has a control character in its name";
    if (name.contains('\\'))
        return "has a backslash in its name";
    if (name.startsWith('/'))
        return "has an absolute path";
    const QList<QByteArray> parts = name.split('/');
    if (parts.contains(".."))
        return "climbs out of VANTO's folder with \"..\"";
    if (parts.contains("") || parts.contains("."))
        return "has an empty or \".\" part in its path";
    if (std::any_of(parts.begin(), parts.end(),
                    [](const QByteArray& part) { return part.size() > NAME_MAX; }))
        return "has a part longer than " + QByteArray::number(NAME_MAX) +
               " bytes, which the file system does not take";
    if (name.size() >= PATH_MAX)
        return "has a path of " + QByteArray::number(name.size()) + " bytes; the file system " +
               "takes at most " + QByteArray::number(PATH_MAX - 1);
    return {};
}

QByteArray ReservedProblem(const QByteArray& path) {
    if (path == reservedFolder || path.startsWith(QByteArray(reservedFolder) + '/'))
        return "is in .koru/, which KORU keeps for itself";
    if (path == FolderPaths::updateKey)
        return "would change the keys KORU trusts";
    return {};
}

QByteArray KindProblem(mode_t unixMode) {
    const mode_t type = unixMode & S_IFMT;
    if (type == S_IFLNK)
        return "is a symbolic link";
    if (type != 0 && type != S_IFREG && type != S_IFDIR)
        return "is a device or other special file";
    return {};
}

mode_t InstalledMode(bool folder, mode_t unixMode) {
    return folder || (unixMode & S_IXUSR) != 0 ? 0755 : 0644;
}

QByteArray Shown(const QByteArray& name) {
    if (IsUtf8(name) && !HasControl(name))
        return name;
    QByteArray shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7f)
            shown += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            shown += c;
    }
    return shown;
}

QByteArray ProgramProblem(const QByteArray& path) {
    if (path.isEmpty())
        return "is empty";
    // "-" stands for the standard input or output to most tools, never a file.
    if (path == "-")
        return "is \"-\", which names no file";
    if (path == FolderPaths::installedVersion)
        return "is VANTO.ini, which holds VANTO's version";
    const QByteArray why = NameProblem(path);
    return why.isEmpty() ? ReservedProblem(path) : why;
}

} // namespace EntryRules
