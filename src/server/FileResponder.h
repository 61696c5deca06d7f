// The sample update server's HTTP side without sockets: requests in, replies
// out, files served from under one root folder and never from outside it.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class FileResponder {
public:
    struct Reply {
        QByteArray bytes;
        bool keepAlive = true; // false: close the connection once the reply is sent
    };

    explicit FileResponder(const QString& root);

    // Takes every complete request from the front of `pending` and answers it.
    // A request that can never complete (an oversized header block) is
    // answered with 400 and ends the connection.
    QList<Reply> Take(QByteArray& pending) const;

    // The reply to one request's header block (without its blank line).
    Reply Answer(const QByteArray& head) const;

private:
    QByteArray Status(int code, const char* reason, bool keepAlive, bool headOnly) const;
    QString Resolve(const QByteArray& target) const;

    QString root_; // canonical, without a trailing separator
};
