#include "update/net/ProxyTunnel.h"

#include <QList>
#include <utility>

namespace {

// A proxy's answer head is a few hundred bytes; one that never ends is not HTTP.
constexpr qsizetype maxAnswerHead = 64 * 1024;

constexpr char notHttp[] = "The proxy's answer to CONNECT is not HTTP.";

} // namespace

ProxyTunnel::ProxyTunnel(const QByteArray& host, int port, const QByteArray& authorization)
    : hostAndPort_(host + ':' + QByteArray::number(port)), authorization_(authorization) {}

QByteArray ProxyTunnel::Request() const {
    return "CONNECT " + hostAndPort_ + " HTTP/1.1\r\nHost: " + hostAndPort_ + "\r\n" +
           (authorization_.isEmpty() ? QByteArray()
                                     : "Proxy-Authorization: " + authorization_ + "\r\n") +
           "\r\n";
}

ProxyTunnel::State ProxyTunnel::Feed(const QByteArray& bytes) {
    if (state_ != State::Waiting)
        return state_;
    received_ += bytes;
    const qsizetype headEnd = received_.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (received_.size() > maxAnswerHead)
            Refuse(notHttp);
        return state_;
    }
    const QByteArray statusLine = received_.left(received_.indexOf("\r\n"));
    const QList<QByteArray> words = statusLine.split(' ');
    bool numeric = false;
    const int status = words.size() >= 2 ? words[1].toInt(&numeric) : 0;
    if (!statusLine.startsWith("HTTP/1.") || !numeric || words[1].size() != 3) {
        Refuse(notHttp);
        return state_;
    }
    // Any 2xx answer to CONNECT opens the tunnel (RFC 9110, section 9.3.6).
    if (status < 200 || status > 299) {
        Refuse(statusLine);
        return state_;
    }
    received_.remove(0, headEnd + 4);
    state_ = State::Open;
    return state_;
}

void ProxyTunnel::ConnectionClosed() {
    if (state_ == State::Waiting)
        Refuse("The proxy closed the connection before the tunnel was open.");
}

QByteArray ProxyTunnel::TakeTunnelBytes() {
    if (state_ != State::Open)
        return {};
    return std::exchange(received_, {});
}

void ProxyTunnel::Refuse(const QByteArray& reason) {
    state_ = State::Refused;
    failureReason_ = reason;
    received_.clear();
}
