// How the update client tells that the server does not have a file: a 404,
// or the words "404 not found" in a page that stands in for the file.
#pragma once

#include <QByteArray>

namespace NotFoundRule {

// What a text file becomes when the server does not have it.
inline constexpr char message[] = "Update file not found on the server.";

// True when the text holds "404 not found" in any mix of case.
bool Matches(const char* text, qsizetype size);
inline bool Matches(const QByteArray& text) {
    return Matches(text.constData(), text.size());
}

} // namespace NotFoundRule
