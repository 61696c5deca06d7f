// How the update client tells that the server does not have a file: a 404,
// or, for what a page may stand in for, the words "404 not found" in it.
#pragma once

#include <QByteArray>

namespace NotFoundRule {

// What a text file becomes when the server does not have it.
inline constexpr char message[] = "Update file not found on the server.";

// What a fetch brings, which decides what says it is missing.
enum class Fetched {
    Text,      // a version file, a help-link text, the news: a page may stand in for it
    Signed,    // a signed text or a listed body: its words are the publisher's
    Binary,    // the main window's archive, a help-link picture: its bytes may hold any text
    ZipAnswer, // the quick window's archive: only an answer declared a zip is one
};

// True when the answer says the file is missing: its `status`, and whether
// its body holds the words and it declares "Content-Type: application/zip".
bool Missing(Fetched fetched, int status, bool words, bool declaresZip);
// Whether the words in the body count, so that it is worth reading for them.
bool WordsCount(Fetched fetched, bool declaresZip);

// True when the text holds "404 not found" in any mix of case.
bool Matches(const char* text, qsizetype size);
inline bool Matches(const QByteArray& text) {
    return Matches(text.constData(), text.size());
}

} // namespace NotFoundRule
