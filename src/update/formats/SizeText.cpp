#include "update/formats/SizeText.h"

QByteArray SizeText(qint64 bytes) {
    constexpr struct {
        double size;
        const char* name;
    } units[] = {{1e9, " GB"}, {1e6, " MB"}, {1e3, " KB"}};
    for (const auto& unit : units)
        if (double(bytes) >= unit.size)
            return QByteArray::number(double(bytes) / unit.size, 'f', 1) + unit.name;
    return QByteArray::number(bytes) + (bytes == 1 ? " byte" : " bytes");
}
