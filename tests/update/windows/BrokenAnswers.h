// One table of answers that no transfer can use, run against both windows
// through the one transfer engine: the main window's version step and its
// archive download, and the quick window's download. Each row says what each
// of them reports; the windows differ where their rules do (the quick window
// takes only answers declared archives and names a stall its own way; its
// label names no path). A null reason: the row does not apply to that window.
#pragma once

#include "support/ScriptedServer.h"

#include <QByteArray>
#include <QList>
#include <functional>
#include <gtest/gtest.h>

struct BrokenAnswer {
    const char* name;
    // The broken answer, made from the good one for the file asked for.
    std::function<ScriptedServer::Script(const QByteArray& good)> answer;
    const char* versionStep; // main window, the check's version file
    const char* download;    // main window, VANTO Update
    const char* quick;       // quick window, its download
};

namespace brokenAnswers {

using Ending = ScriptedServer::Ending;
using Script = ScriptedServer::Script;

inline std::function<Script(const QByteArray&)> Cut(qsizetype keep, Ending ending) {
    return [=](const QByteArray& good) {
        return Script{{{good.left(keep < 0 ? good.size() + keep : keep)}}, ending};
    };
}
// The same answer whatever the file.
inline std::function<Script(const QByteArray&)> Fixed(const Script& script) {
    return [=](const QByteArray&) { return script; };
}
inline Script Silent(const QByteArray& bytes) {
    return {{{bytes}}, Ending::StaySilent};
}

inline constexpr char closedEarly[] = "The server closed the connection early.";
inline constexpr char reset[] = "Connection reset by peer.";
inline constexpr char serverError[] = "HTTP/1.1 500 Internal Server Error";
inline constexpr char notFound[] = "Update file not found on the server.";
inline constexpr char notArchive[] = "The server's answer is not an archive.";
inline constexpr char noAnswer[] = "No answer from the server.";
inline constexpr char quickStall[] = "The update server did not answer.";
inline constexpr char overlong[] = "The server sent more than it announced.";

inline const QList<BrokenAnswer> rows = {
    {"EarlyClose", Cut(-5, Ending::Close), closedEarly, closedEarly, closedEarly},
    {"Silence", Fixed({{}, Ending::StaySilent}), noAnswer, noAnswer, quickStall},
    {"StopsMidBody", Cut(-5, Ending::StaySilent), nullptr, "The server stopped sending.",
     quickStall},
    {"ResetMidHead", Cut(20, Ending::Reset), reset, nullptr, nullptr},
    {"ResetMidBody", Cut(-5, Ending::Reset), nullptr, reset, nullptr},
    {"Overlong", [](const QByteArray& good) { return Silent(good + "extra"); }, overlong, overlong,
     nullptr},
    {"ServerError", Fixed(Silent(ScriptedServer::Response("500 Internal Server Error", "oops"))),
     serverError, serverError, serverError},
    {"NotHttp", Fixed(Silent("SSH-2.0-OpenSSH\r\n\r\n")), "The server's answer is not HTTP.",
     nullptr, nullptr},
    {"EndlessHead", Fixed(Silent("HTTP/1.1 200 OK\r\n" + QByteArray(70000, 'x'))),
     "The server's header block is too long.", nullptr, nullptr},
    {"WordLength", Fixed(Silent("HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\n")),
     "The server announced no valid length.", nullptr, nullptr},
    {"TextOverOneMiB", Fixed(ScriptedServer::Ok(QByteArray(1024 * 1024 + 1, 'v'))),
     "The server sent a text file larger than 1 MiB.", nullptr, nullptr},
    {"Missing", Fixed(ScriptedServer::NotFound()), nullptr, notFound, notFound},
    {"NotFoundText", Fixed(Silent(ScriptedServer::Response("200 OK", "Error 404 NOT FOUND"))),
     nullptr, nullptr, nullptr},
    {"NoLengthWithoutKey",
     [](const QByteArray& good) {
         const qsizetype head = good.indexOf("Content-Length");
         return Script{{{good.left(head) + "\r\n" + good.mid(good.indexOf("\r\n\r\n") + 4)}},
                       Ending::Close};
     },
     nullptr,
     "The server announced no length, so a complete archive cannot be told from a cut one.",
     nullptr},
    {"NotAnArchive", Fixed(ScriptedServer::Ok("VER = 02.14\r\nRelease notes.")), nullptr, nullptr,
     notArchive},
};

// The rows that apply to one window's transfer.
inline QList<BrokenAnswer> For(const char* BrokenAnswer::*window) {
    QList<BrokenAnswer> applying;
    for (const BrokenAnswer& row : rows) {
        if (row.*window != nullptr)
            applying.append(row);
    }
    return applying;
}

inline std::string Name(const ::testing::TestParamInfo<BrokenAnswer>& row) {
    return row.param.name;
}

} // namespace brokenAnswers
