#include "update/formats/NotFoundRule.h"

#include <cstring>

namespace NotFoundRule {

bool WordsCount(Fetched fetched, bool declaresZip) {
    switch (fetched) {
    case Fetched::Text:
        return true;
    case Fetched::ZipAnswer:
        return !declaresZip; // an archive's bytes may hold any text
    case Fetched::Signed:
    case Fetched::Binary:
        break;
    }
    return false;
}

bool Missing(Fetched fetched, int status, bool words, bool declaresZip) {
    return status == 404 || (words && WordsCount(fetched, declaresZip));
}

bool Matches(const char* text, qsizetype size) {
    // Bodies may be whole archives: no copy, and a jump from '4' to '4'.
    static constexpr char words[] = "404 not found";
    constexpr qsizetype length = qsizetype(sizeof words) - 1;
    const char* end = text + size;
    for (const char* at = text; end - at >= length;) {
        at = static_cast<const char*>(std::memchr(at, '4', size_t(end - at - length + 1)));
        if (at == nullptr)
            return false;
        if (qstrnicmp(at, words, length) == 0)
            return true;
        ++at;
    }
    return false;
}

} // namespace NotFoundRule
