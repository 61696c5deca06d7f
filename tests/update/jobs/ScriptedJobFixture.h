// A job's tools over a scripted connection, no socket: a VANTO folder of its
// own, a log in memory, a release list, a text sink and a switch of its own,
// and the engine, whose connection plays one script per fetch.
#pragma once

#include "platform/runtime/Events.h"
#include "support/TestVantoHome.h"
#include "update/jobs/JobTools.h"
#include "update/jobs/ServiceMode.h"
#include "update/net/ScriptedConnection.h"
#include "update/windows/MessageLog.h"

#include <QDeadlineTimer>
#include <QTimer>
#include <gtest/gtest.h>

class ScriptedJobFixture : public ::testing::Test {
public:
    static QByteArray Ok(const QByteArray& body) { return ScriptedConnection::Ok(body); }
    static ScriptedConnection::Script Answer(const QByteArray& response) {
        return {ScriptedConnection::Connected(), ScriptedConnection::Data(response)};
    }
    static ScriptedConnection::Script Missing() {
        return Answer("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
    }
    static ScriptedConnection::Script Reset() {
        return {ScriptedConnection::Connected(), ScriptedConnection::Reset()};
    }

protected:
    // The tools for a job whose fetches are answered by `connections`, in turn.
    JobTools Tools(QList<ScriptedConnection::Script> connections) {
        auto scripted = std::make_shared<ScriptedConnection>(std::move(connections));
        ScriptedConnection::RouteTo(*scripted, engine);
        script = scripted.get();
        connection = std::move(scripted);
        return {&engine, &connection, &log, home.path(), &held, server, &text, &serviceMode};
    }

    // Runs the event loop until `ended` (bounded).
    static void Wait(const std::function<bool()>& ended) {
        QDeadlineTimer deadline(3000);
        QTimer tick;
        tick.start(10);
        WaitUntil([&] { return ended() || deadline.hasExpired(); });
    }

    // The paths asked, one per connection.
    QByteArrayList Asked() const {
        QByteArrayList paths;
        for (const QByteArray& sent : script->Sent())
            paths.append(
                sent.split(' ').value(1).mid(qsizetype(sizeof "http://127.0.0.1:8080") - 1));
        return paths;
    }

    TestVantoHome home;
    TransferEngine engine;
    std::shared_ptr<Connection> connection;
    ScriptedConnection* script = nullptr;
    MessageLog log; // the main window's, without its window
    HeldList held;  // the release list the jobs hold
    const QByteArray server = "127.0.0.1:8080";
    QByteArray text;
    std::uint8_t serviceMode = serviceNotChecked;
};
