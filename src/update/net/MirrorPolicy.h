// Which of a command's servers a fetch goes to, and whether a failure moves
// it on to the next one: decided here alone, for every fetch and for the
// archive's checks after it. Within one command a mirror that could not be
// reached or went silent is skipped for the rest of the command, and once
// every mirror has failed, later fetches fail at once with the first reason.
// A single server is asked for every file, however it failed before.
#pragma once

#include "update/net/ServerAddress.h"
#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <QList>

class MirrorPolicy {
public:
    using Kinds = QList<TransferFailure::Kind>;
    // Failures of the connection, which another server may not have.
    static const Kinds connectionKinds;

    // A mirror: the address, and the text the user named it by.
    struct Mirror {
        ServerAddress address;
        QByteArray written;
    };

    // Takes the servers of `text` (ServerAddress's list); the same text keeps
    // the command where it is.
    void Use(const QByteArray& text);
    // Why the text names no server; empty when it does.
    const QByteArray& Problem() const { return problem_; }
    bool Usable() const { return !mirrors_.isEmpty(); }

    // A new command starts with the first mirror, and none skipped.
    void NewCommand();
    // A new request counts the servers it tries from the current one. Answers
    // the failure it meets at once when every mirror has already failed.
    TransferFailure BeginRequest();
    const Mirror& Current() const { return mirrors_[current_]; }

    // Decides whether `failure` of the current request moves it on: true
    // when a failure of one of `kinds` leaves a server to try, which is then
    // Current(). Otherwise false, with `failure` the first server's reason
    // and the count once several were tried. A `dead` server is skipped for
    // the rest of the command.
    bool MoveOn(TransferFailure& failure, const Kinds& kinds, bool dead = false);

private:
    QByteArray text_;
    QByteArray problem_;
    QList<Mirror> mirrors_;
    QList<bool> dead_;
    qsizetype current_ = 0;
    qsizetype start_ = 0;         // where the current request began
    qsizetype tried_ = 1;         // by the current request
    TransferFailure first_;       // of the current request
    TransferFailure everyFailed_; // of the command, once no mirror is left
};
