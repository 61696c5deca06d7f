#include "support/LoopbackClient.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackClient::LoopbackClient(std::uint16_t port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address);
}

LoopbackClient::~LoopbackClient() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool LoopbackClient::Established(int milliseconds) {
    pollfd p{fd_, POLLOUT, 0};
    if (::poll(&p, 1, milliseconds) != 1)
        return false;
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

// Runs Qt's events until the socket is ready for `events` or the time is up.
bool LoopbackClient::Wait(short events, int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    while (true) {
        QCoreApplication::processEvents();
        pollfd p{fd_, events, 0};
        if (::poll(&p, 1, 1) == 1)
            return true;
        if (deadline.hasExpired())
            return false;
    }
}

bool LoopbackClient::Send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        if (!Wait(POLLOUT, 5000))
            return false;
        const auto n =
            ::send(fd_, bytes.constData() + done, std::size_t(bytes.size() - done), MSG_NOSIGNAL);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        if (n > 0)
            done += n;
    }
    return true;
}

// Reads until `size` bytes are buffered, the stream ends, or 5 s pass without data.
bool LoopbackClient::Fill(qsizetype size) {
    char chunk[65536];
    while (buffered_.size() < size && !ended_) {
        if (!Wait(POLLIN, 5000))
            return false;
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0)
            buffered_.append(chunk, n);
        else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            ended_ = true;
    }
    return buffered_.size() >= size;
}

QByteArray LoopbackClient::Response(bool head) {
    qsizetype end = -1;
    while ((end = buffered_.indexOf("\r\n\r\n")) < 0) {
        if (!Fill(buffered_.size() + 1))
            return {};
    }
    const QByteArray lower = buffered_.left(end).toLower();
    const qsizetype at = lower.indexOf("\r\ncontent-length:");
    qsizetype length = 0;
    if (at >= 0 && !head)
        length = lower.mid(at + 17, lower.indexOf("\r\n", at + 2) - at - 17).trimmed().toLongLong();
    if (!Fill(end + 4 + length))
        return {};
    const QByteArray response = buffered_.left(end + 4 + length);
    buffered_.remove(0, response.size());
    return response;
}

bool LoopbackClient::Closed(int milliseconds) {
    const QDeadlineTimer deadline(milliseconds);
    char chunk[65536];
    while (!ended_) {
        if (!Wait(POLLIN, int(deadline.remainingTime())))
            return false;
        const auto n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
            ended_ = true;
    }
    return true;
}
