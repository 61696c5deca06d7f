#include "update/trust/ReleaseList.h"

#include "update/trust/MinisignText.h"

#include <QRegularExpression>
#include <map>

namespace {

constexpr char header[] = "koru-release ";
constexpr char timeFormat[] = "yyyy-MM-dd'T'HH:mm:ss'Z'";

// Decimal digits only (no sign, no blank), small enough for qint64.
std::optional<qint64> Number(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
    }
    return text.toLongLong();
}

std::optional<QDateTime> Time(const QByteArray& text) {
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"));
    const QString string = QString::fromLatin1(text);
    if (!form.match(string).hasMatch())
        return std::nullopt;
    const QDateTime time(QDate::fromString(string.left(10), Qt::ISODate),
                         QTime::fromString(string.mid(11, 8), Qt::ISODate), Qt::UTC);
    if (!time.isValid() || ReleaseList::TimeText(time) != text)
        return std::nullopt;
    return time;
}

bool Printable(const QByteArray& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7f; });
}

ReleaseList Refused(const QByteArray& why) {
    ReleaseList list;
    list.problem = "The release list is malformed: " + why + '.';
    return list;
}

QByteArray AtLine(qsizetype index, const QByteArray& why) {
    return "line " + QByteArray::number(index + 1) + ' ' + why;
}

// A file line's fields; an empty text or a reason.
QByteArray ReadEntry(const QByteArray& value, ReleaseList::Entry& entry) {
    const QList<QByteArray> fields = value.split(' ');
    if (fields.size() < 3)
        return "is not \"file LENGTH HASH PATH\"";
    const std::optional<qint64> length = Number(fields[0]);
    if (!length)
        return "has a length that is not a whole number";
    const QByteArray hex = fields[1];
    const QByteArray hash = QByteArray::fromHex(hex);
    if (hex.size() != 2 * ReleaseList::hashSize || hash.toHex() != hex.toLower())
        return "has a hash that is not 64 hex digits";
    entry.length = *length;
    entry.hash = hash;
    entry.path = value.mid(fields[0].size() + fields[1].size() + 2);
    if (!ReleaseList::IsListedPath(entry.path))
        return "names a path that is not a plain path under files/";
    return {};
}

} // namespace

ReleaseList ReleaseList::Parse(const QByteArray& text) {
    if (text.isEmpty())
        return Refused("it is empty");
    if (text.size() > maximumSize)
        return Refused("it is larger than 16 KiB");
    const QList<QByteArray> lines = MinisignText::Lines(text);
    const std::optional<QByteArray> version = MinisignText::AfterPrefix(lines[0], header);
    if (!version)
        return Refused("its first line is not \"koru-release 1\"");
    if (*version != QByteArray::number(formatVersion))
        return Refused("it has format version \"" + version->left(20) +
                       "\"; this KORU reads version 1");

    ReleaseList list;
    std::map<QByteArray, qsizetype> seen;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (!Printable(line))
            return Refused(AtLine(i, "holds a control character"));
        if (line.endsWith(' '))
            return Refused(AtLine(i, "ends in a blank"));
        const qsizetype blank = line.indexOf(' ');
        const QByteArray field = line.left(blank);
        const QByteArray value = blank < 0 ? QByteArray() : line.mid(blank + 1);
        if (blank <= 0)
            return Refused(AtLine(i, "is not \"FIELD VALUE\""));
        if (field != "file" && seen.count(field) != 0)
            return Refused(AtLine(i, "names \"" + field + "\" a second time"));
        seen[field] = i;
        if (field == "serial" || field == "epoch") {
            const std::optional<qint64> number = Number(value);
            if (!number)
                return Refused(AtLine(i, "has a " + field + " that is not a whole number"));
            (field == "serial" ? list.serial : list.epoch) = *number;
        } else if (field == "expires") {
            const std::optional<QDateTime> time = Time(value);
            if (!time)
                return Refused(AtLine(i, "has an expiry that is not a UTC time like "
                                         "2027-01-06T12:00:00Z"));
            list.expires = *time;
        } else if (field == "vanto") {
            if (value.isEmpty() || value.size() > 32)
                return Refused(AtLine(i, "has a VANTO version that is not 1 to 32 characters"));
            list.offeredVersion = value;
        } else if (field == "file") {
            Entry entry;
            const QByteArray why = ReadEntry(value, entry);
            if (!why.isEmpty())
                return Refused(AtLine(i, why));
            if (list.Find(entry.path) != nullptr)
                return Refused(AtLine(i, "names \"" + entry.path + "\" a second time"));
            list.files.append(std::move(entry));
        } else if (field == "install") {
            if (!IsListedPath(value))
                return Refused(AtLine(i, "names an archive to install that is not a plain path "
                                         "under files/"));
            list.installable = value;
        } else if (field == "program") {
            if (!IsListedPath(value))
                return Refused(AtLine(i, "names a VANTO program that is not a plain path in "
                                         "VANTO's folder"));
            list.program = value;
        } else {
            seen.erase(field);
        }
    }
    if (!list.installable.isEmpty() && list.Find(list.installable) == nullptr)
        return Refused(AtLine(seen["install"], "marks \"" + list.installable +
                                                   "\" installable, which it does not list"));
    // Without an archive to install, nothing would look for the program: a
    // publisher who names it meant the archive to be installable.
    if (!list.program.isEmpty() && list.installable.isEmpty())
        return Refused(AtLine(seen["program"], "names VANTO's program, but no archive to install"));
    for (const char* field : {"serial", "expires", "vanto", "epoch"}) {
        if (seen.count(field) == 0)
            return Refused("it has no \"" + QByteArray(field) + "\" line");
    }
    return list;
}

QByteArray ReleaseList::Text() const {
    QByteArray text = header + QByteArray::number(formatVersion) + '\n';
    text += "serial " + QByteArray::number(serial) + '\n';
    text += "expires " + TimeText(expires) + '\n';
    text += "vanto " + offeredVersion + '\n';
    text += "epoch " + QByteArray::number(epoch) + '\n';
    for (const Entry& entry : files)
        text += "file " + QByteArray::number(entry.length) + ' ' + entry.hash.toHex() + ' ' +
                entry.path + '\n';
    if (!installable.isEmpty())
        text += "install " + installable + '\n';
    if (!program.isEmpty())
        text += "program " + program + '\n';
    return text;
}

QByteArray ReleaseList::SignedComment() const {
    return "koru-release serial " + QByteArray::number(serial) + " epoch " +
           QByteArray::number(epoch);
}

const ReleaseList::Entry* ReleaseList::Find(const QByteArray& filesPath) const {
    for (const Entry& entry : files) {
        if (entry.path == filesPath)
            return &entry;
    }
    return nullptr;
}

QByteArray ReleaseList::TimeText(const QDateTime& time) {
    return time.toUTC().toString(QString::fromLatin1(timeFormat)).toLatin1();
}

bool ReleaseList::IsListedPath(const QByteArray& filesPath) {
    if (filesPath.isEmpty() || !Printable(filesPath) || filesPath.contains('\\'))
        return false;
    const QList<QByteArray> parts = filesPath.split('/');
    return std::none_of(parts.begin(), parts.end(), [](const QByteArray& part) {
        return part.isEmpty() || part == "." || part == "..";
    });
}
