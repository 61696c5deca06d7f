// The sample update server's HTTP side without sockets: requests in, replies
// out, files served from under one root folder and never from outside it.
// A reply names the part of an open file to send rather than holding it, so
// the server can stream it in pieces.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <memory>
#include <optional>

class FileResponder {
public:
    // The longest header block taken; a longer one is answered with 400.
    static constexpr qsizetype maxHeadSize = 16 * 1024;

    // Text followed by a part of the file: the further parts of a
    // multipart/byteranges reply, the last one its closing boundary alone.
    struct Section {
        QByteArray head;
        qint64 offset = 0;
        qint64 length = 0;
    };

    struct Reply {
        QByteArray head;             // status line and headers, and the page of an error status
        std::shared_ptr<QFile> file; // sent after `head` when not null
        qint64 offset = 0;           // the part of `file` to send
        qint64 length = 0;
        bool keepAlive = true; // false: close the connection once the reply is sent
        QList<Section> more;   // sent after that part, each in the same way

        // Makes the next section the one to send; false when none is left.
        bool NextSection();
    };

    explicit FileResponder(const QString& root);

    // Takes the first complete request from the front of `pending` and answers
    // it; nothing while it is incomplete. A request that can never complete
    // (an oversized header block) or whose body cannot be skipped is answered
    // with an error that ends the connection.
    std::optional<Reply> Take(QByteArray& pending) const;

    // The reply to one request's header block (without its blank line).
    Reply Answer(const QByteArray& head) const;

private:
    Reply FileReply(const QString& path, const QList<QByteArray>& lines, bool headOnly,
                    bool keepAlive) const;
    QString Resolve(const QByteArray& target) const;

    QString root_; // canonical, without a trailing separator
};
