#include "update/install/SwapPlan.h"

#include "update/install/EntryRules.h"

#include <functional>

namespace {

constexpr char planHeader[] = "koru-plan";
constexpr char recordHeader[] = "koru-installed";

QByteArray Header(const char* name) {
    return QByteArray(name) + ' ' + QByteArray::number(SwapPlan::format) + '\n';
}

// Splits off the first `count` words; the rest of the line (a path, which
// may hold blanks) is the last item.
QList<QByteArray> Words(const QByteArray& line, int count) {
    QList<QByteArray> words;
    qsizetype at = 0;
    for (int i = 0; i < count; ++i) {
        const qsizetype blank = line.indexOf(' ', at);
        if (blank < 0)
            return {};
        words << line.mid(at, blank - at);
        at = blank + 1;
    }
    words << line.mid(at);
    return words;
}

// Reads "HEADER FORMAT", then a line per item until "end"; false for a
// torn text or one `item` refuses.
bool ReadLines(const QByteArray& text, const char* header,
               const std::function<bool(const QByteArray& key, const QByteArray& rest)>& item) {
    if (!text.startsWith(Header(header)) || !text.endsWith("\nend\n"))
        return false;
    const QList<QByteArray> lines = text.chopped(5).split('\n').mid(1);
    for (const QByteArray& line : lines) {
        const QList<QByteArray> words = Words(line, 1);
        if (words.size() != 2 || !item(words[0], words[1]))
            return false;
    }
    return true;
}

// A path in VANTO's folder as an archive's entry could name it: a plan or
// record that names another is damaged, and nothing it names is touched.
bool Sound(const QByteArray& path) {
    return EntryRules::NameProblem(path).isEmpty() && EntryRules::ReservedProblem(path).isEmpty();
}

bool Number(const QByteArray& text, quint64& value) {
    bool ok = false;
    value = text.toULongLong(&ok);
    return ok;
}

bool Number(const QByteArray& text, qint64& value) {
    bool ok = false;
    value = text.toLongLong(&ok);
    return ok && value >= 0;
}

} // namespace

QByteArray SwapPlan::Text() const {
    QByteArray text = Header(planHeader) + "token " + token + "\nkind " + kind + "\nfrom " + from +
                      "\nold " + oldVersion + "\nnew " + newVersion + '\n';
    for (const QByteArray& folder : createdFolders)
        text += "mkdir " + folder + '\n';
    for (const QByteArray& folder : removedFolders)
        text += "rmdir " + folder + '\n';
    for (const File& file : files)
        text += "file " + QByteArray::number(file.number) + ' ' +
                (file.Arrives() ? file.source : "-") + ' ' + QByteArray::number(file.sourceInode) +
                ' ' + QByteArray::number(file.oldInode) + ' ' + file.path + '\n';
    for (const QByteArray& path : installed)
        text += "installs " + path + '\n';
    return text + "end\n";
}

std::optional<SwapPlan> SwapPlan::Parse(const QByteArray& text) {
    SwapPlan plan;
    const bool whole =
        ReadLines(text, planHeader, [&](const QByteArray& key, const QByteArray& rest) {
            if (key == "file") {
                const QList<QByteArray> words = Words(rest, 4);
                File file;
                if (words.size() != 5 || !Number(words[0], file.number) ||
                    !Number(words[2], file.sourceInode) || !Number(words[3], file.oldInode) ||
                    !Sound(words[4]) ||
                    (words[1] != "-" && (words[1].contains('/') || !Sound(words[1]))))
                    return false;
                file.source = words[1] == "-" ? QByteArray() : words[1];
                file.path = words[4];
                plan.files << file;
                return true;
            }
            QByteArray* single = key == "token"  ? &plan.token
                                 : key == "kind" ? &plan.kind
                                 : key == "from" ? &plan.from
                                 : key == "old"  ? &plan.oldVersion
                                 : key == "new"  ? &plan.newVersion
                                                 : nullptr;
            if (single != nullptr)
                *single = rest;
            else if ((key == "mkdir" || key == "rmdir" || key == "installs") && !Sound(rest))
                return false;
            else if (key == "mkdir")
                plan.createdFolders << rest;
            else if (key == "rmdir")
                plan.removedFolders << rest;
            else if (key == "installs")
                plan.installed << rest;
            return single != nullptr || key == "mkdir" || key == "rmdir" || key == "installs";
        });
    if (!whole || plan.token.isEmpty() || plan.from.isEmpty())
        return std::nullopt;
    return plan;
}

QByteArray SwapPlan::Record::Text() const {
    QByteArray text = Header(recordHeader) + "token " + token + "\nversion " + version + '\n';
    if (!program.isEmpty())
        text += "program " + program + '\n';
    for (const QByteArray& path : files)
        text += "file " + path + '\n';
    return text + "end\n";
}

std::optional<SwapPlan::Record> SwapPlan::Record::Parse(const QByteArray& text) {
    Record record;
    const bool whole =
        ReadLines(text, recordHeader, [&](const QByteArray& key, const QByteArray& rest) {
            if (key == "token")
                record.token = rest;
            else if (key == "version")
                record.version = rest;
            else if ((key == "file" || key == "program") && !Sound(rest))
                return false;
            else if (key == "file")
                record.files << rest;
            else if (key == "program")
                record.program = rest;
            return key == "token" || key == "version" || key == "file" || key == "program";
        });
    if (!whole)
        return std::nullopt;
    return record;
}
