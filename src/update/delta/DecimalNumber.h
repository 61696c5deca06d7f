// The strict number of the texts delta updates read: decimal digits only, no
// sign or space, at most 18 of them so it never overflows.
#pragma once

#include <QByteArray>

inline qint64 DecimalNumber(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18)
        return -1;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}
