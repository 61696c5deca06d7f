#include "platform/runtime/Val.h"

#include <cstdlib>
#include <string>

double Val(const QByteArray& text) {
    std::string number;
    bool seenPoint = false;
    bool seenDigit = false;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        if ((c == '+' || c == '-') && number.empty()) {
            number.push_back(c);
        } else if (c >= '0' && c <= '9') {
            number.push_back(c);
            seenDigit = true;
        } else if (c == '.' && !seenPoint) {
            number.push_back(c);
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!seenDigit)
        return 0.0;
    return std::strtod(number.c_str(), nullptr);
}
