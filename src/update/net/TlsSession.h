// One TLS client session (OpenSSL 3) over memory buffers: it owns no socket.
// The owner sends what TakeOutgoing gives through its connection and feeds
// whatever arrives; the session answers the plaintext. It checks the
// server's chain against OpenSSL's default trust store (so SSL_CERT_FILE and
// SSL_CERT_DIR work as for curl), checks the host name, sends SNI and
// accepts TLS 1.2 or newer. A failure ends the session for good: nothing
// ever falls back to plain text.
#pragma once

#include <QByteArray>

struct ssl_st;
struct bio_st;

class TlsSession {
public:
    enum class Failure {
        None,
        Untrusted, // the chain does not lead to a trusted certificate
        WrongName, // the certificate is for another host
        Expired,   // the certificate's time is over
        Handshake, // no TLS spoken, an alert, or the server left during the handshake
        Broken,    // a protocol error after the handshake
    };

    // Starts the handshake with the server `host` (a name or an IPv4 address,
    // as the user wrote it): the first TakeOutgoing holds the client hello.
    // Raises RuntimeError when OpenSSL cannot make a session.
    explicit TlsSession(const QByteArray& host);
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // The ciphertext waiting to be sent, taken out of the session.
    QByteArray TakeOutgoing();
    // Takes ciphertext that arrived; answers the plaintext it completed, also
    // what came before a failure in the same bytes. Send TakeOutgoing after
    // each call: the handshake's answers and the queued request wait there.
    QByteArray Feed(const QByteArray& ciphertext);
    // Queues plaintext for the server; sent encrypted once the handshake is done.
    void Write(const QByteArray& plaintext);
    // Says goodbye (close_notify) into the outgoing bytes.
    void Close();
    // The connection under the session has ended. During the handshake that
    // is a handshake failure; after it, ClosedCleanly tells whether the
    // server said goodbye first (else what arrived may be cut short).
    void ConnectionClosed();

    bool HandshakeDone() const { return handshakeDone_; }
    bool ClosedCleanly() const { return closedCleanly_; }
    Failure failure() const { return failure_; }
    // Why the session failed, as the log shows it; empty without a failure.
    const QByteArray& FailureReason() const { return failureReason_; }

private:
    void Advance(QByteArray& plaintext);
    void WritePending();
    void Fail(int sslError);
    void Fail(Failure failure, const QByteArray& reason);

    QByteArray host_;
    ssl_st* ssl_ = nullptr;
    bio_st* incoming_ = nullptr; // owned by ssl_
    bio_st* outgoing_ = nullptr; // owned by ssl_
    QByteArray pendingPlaintext_;
    bool handshakeDone_ = false;
    bool closedCleanly_ = false;
    Failure failure_ = Failure::None;
    QByteArray failureReason_;
};
