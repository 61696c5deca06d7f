// The proxy's answer to CONNECT read as it arrives, whatever the pieces: the
// tunnel opens after the head and keeps what follows for the TLS session.
// A real proxy's answers are in ServedFromTest.
#include "update/net/ProxyTunnel.h"

#include <gtest/gtest.h>

namespace {

TEST(ProxyTunnelTest, AnswerSplitAtEveryByte) {
    const struct {
        const char* name;
        QByteArray answer;
        ProxyTunnel::State state;
        QByteArray rest; // the tunnel's bytes, or the failure reason
    } rows[] = {
        {"Open", "HTTP/1.1 200 Connection established\r\nVia: p\r\n\r\n\x16\x03\x03",
         ProxyTunnel::State::Open, "\x16\x03\x03"},
        {"Refused", "HTTP/1.0 403 Forbidden\r\n\r\n", ProxyTunnel::State::Refused,
         "HTTP/1.0 403 Forbidden"},
        {"NotHttp", "SSH-2.0-OpenSSH\r\n\r\n", ProxyTunnel::State::Refused,
         "The proxy's answer to CONNECT is not HTTP."},
    };
    for (const auto& row : rows) {
        for (qsizetype split = 0; split <= row.answer.size(); ++split) {
            SCOPED_TRACE(std::string(row.name) + " split at " + std::to_string(split));
            ProxyTunnel tunnel("update.example", 443, "Basic a29ydTo=");
            QByteArray tunnelBytes;
            for (const QByteArray& piece : {row.answer.left(split), row.answer.mid(split)}) {
                // Once open, the bytes are the session's, as the engine passes them.
                if (tunnel.state() == ProxyTunnel::State::Open)
                    tunnelBytes += piece;
                else if (tunnel.Feed(piece) == ProxyTunnel::State::Open)
                    tunnelBytes += tunnel.TakeTunnelBytes();
            }
            EXPECT_EQ(tunnel.state(), row.state);
            EXPECT_EQ(row.state == ProxyTunnel::State::Open ? tunnelBytes : tunnel.FailureReason(),
                      row.rest);
        }
    }
    ProxyTunnel tunnel("update.example", 443, {});
    tunnel.ConnectionClosed();
    EXPECT_EQ(tunnel.FailureReason(),
              "The proxy closed the connection before the tunnel was open.");
}

} // namespace
