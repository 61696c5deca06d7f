#include "update/install/InstallPlan.h"

#include <algorithm>

qint64 InstallPlan::Files() const {
    return std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return !e.folder; });
}

qint64 InstallPlan::Bytes() const {
    // Sizes are declared by the archive: the sum stops short of overflowing.
    qint64 bytes = 0;
    for (const Entry& entry : entries)
        bytes = std::min(bytes + entry.size, maximumSize);
    return bytes;
}

qint64 InstallPlan::Replaced() const {
    return std::count_if(entries.begin(), entries.end(), [](const Entry& e) { return e.replaces; });
}

QList<QByteArray> InstallPlan::Lines() const {
    QList<QByteArray> lines;
    for (const Entry& entry : entries) {
        if (!entry.folder)
            lines << QByteArray(entry.replaces ? "  replaces " : "  adds     ") + entry.path +
                         " (" + QByteArray::number(entry.size) + " bytes)";
    }
    const qint64 files = Files();
    lines << Counted(files, "file") + ", " + QByteArray::number(Bytes()) +
                 " bytes: " + QByteArray::number(Replaced()) + " replaced, " +
                 QByteArray::number(files - Replaced()) + " added.";
    return lines;
}

QByteArray InstallPlan::Counted(qint64 count, const char* noun) {
    return QByteArray::number(count) + ' ' + noun + (count == 1 ? "" : "s");
}
