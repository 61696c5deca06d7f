// One table of answers that no transfer can use, run against both windows
// through the one transfer engine: the main window's version step and its
// archive download, and the quick window's download. Each row says what each
// of them reports; the windows differ where their rules do (the quick window
// has no stall count and takes only answers declared archives; its label names
// no path). A null reason: the row does not apply to that window.
#pragma once

#include "support/ScriptedServer.h"

#include <QByteArray>
#include <QList>
#include <gtest/gtest.h>

struct BrokenAnswer {
    const char* name;
    // The broken answer, made from the good one for the file asked for.
    ScriptedServer::Script (*answer)(const QByteArray& good);
    const char* versionStep; // main window, the check's version file
    const char* download;    // main window, VANTO Update
    const char* quick;       // quick window, its download
};

namespace brokenAnswers {

using Ending = ScriptedServer::Ending;

inline ScriptedServer::Script Cut(const QByteArray& good, Ending ending) {
    return {{{good.left(good.size() - 5)}}, ending};
}

inline constexpr char closedEarly[] = "The server closed the connection early.";
inline constexpr char reset[] = "Connection reset by peer.";
inline constexpr char serverError[] = "HTTP/1.1 500 Internal Server Error";
inline constexpr char notFound[] = "Update file not found on the server.";
inline constexpr char notArchive[] = "The server's answer is not an archive.";

inline const QList<BrokenAnswer> rows = {
    {"EarlyClose", [](const QByteArray& good) { return Cut(good, Ending::Close); }, closedEarly,
     closedEarly, closedEarly},
    {"Silence",
     [](const QByteArray&) {
         return ScriptedServer::Script{{}, Ending::StaySilent};
     },
     "No answer from the server.", "No answer from the server.", nullptr},
    {"StopsMidBody", [](const QByteArray& good) { return Cut(good, Ending::StaySilent); }, nullptr,
     "The server stopped sending.", nullptr},
    {"ResetMidHead",
     [](const QByteArray& good) {
         return ScriptedServer::Script{{{good.left(20)}}, Ending::Reset};
     },
     reset, nullptr, nullptr},
    {"ResetMidBody", [](const QByteArray& good) { return Cut(good, Ending::Reset); }, nullptr,
     reset, nullptr},
    {"Overlong",
     [](const QByteArray& good) {
         return ScriptedServer::Script{{{good + "extra"}}, Ending::StaySilent};
     },
     "The server sent more than it announced.", "The server sent more than it announced.", nullptr},
    {"ServerError",
     [](const QByteArray&) {
         return ScriptedServer::Script{
             {{ScriptedServer::Response("500 Internal Server Error", "oops")}}, Ending::StaySilent};
     },
     serverError, serverError, serverError},
    {"NotHttp",
     [](const QByteArray&) {
         return ScriptedServer::Script{{{"SSH-2.0-OpenSSH\r\n\r\n"}}, Ending::StaySilent};
     },
     "The server's answer is not HTTP.", nullptr, nullptr},
    {"EndlessHead",
     [](const QByteArray&) {
         return ScriptedServer::Script{{{"HTTP/1.1 200 OK\r\n" + QByteArray(70000, 'x')}},
                                       Ending::StaySilent};
     },
     "The server's header block is too long.", nullptr, nullptr},
    {"WordLength",
     [](const QByteArray&) {
         return ScriptedServer::Script{{{"HTTP/1.1 200 OK\r\nContent-Length: five\r\n\r\n"}},
                                       Ending::StaySilent};
     },
     "The server announced no valid length.", nullptr, nullptr},
    {"TextOverOneMiB",
     [](const QByteArray&) { return ScriptedServer::Ok(QByteArray(1024 * 1024 + 1, 'v')); },
     "The server sent a text file larger than 1 MiB.", nullptr, nullptr},
    {"Missing", [](const QByteArray&) { return ScriptedServer::NotFound(); }, nullptr, notFound,
     notFound},
    {"NotFoundText",
     [](const QByteArray&) {
         return ScriptedServer::Script{
             {{ScriptedServer::Response("200 OK", "Error 404 NOT FOUND")}}, Ending::StaySilent};
     },
     nullptr, notFound, nullptr},
    {"NoLengthWithoutKey",
     [](const QByteArray& good) {
         const qsizetype head = good.indexOf("Content-Length");
         return ScriptedServer::Script{
             {{good.left(head) + "\r\n" + good.mid(good.indexOf("\r\n\r\n") + 4)}}, Ending::Close};
     },
     nullptr,
     "The server announced no length, so a complete archive cannot be told from a cut one.",
     nullptr},
    {"NotAnArchive",
     [](const QByteArray&) { return ScriptedServer::Ok("VER = 02.14\r\nRelease notes."); }, nullptr,
     nullptr, notArchive},
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
