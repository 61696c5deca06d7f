#include "update/net/TlsSession.h"

#include "platform/runtime/RuntimeError.h"

#include <QtGlobal>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

namespace {

constexpr char source[] = "TlsSession";

// One context for the process. OpenSSL reads SSL_CERT_FILE when the trust
// store is loaded, so a changed variable makes a new context (sessions keep
// a reference to the one they began with).
SSL_CTX* Context() {
    static SSL_CTX* context = nullptr;
    static QByteArray loadedFor;
    const QByteArray trustSettings = qgetenv("SSL_CERT_FILE") + '\n' + qgetenv("SSL_CERT_DIR");
    if (context != nullptr && trustSettings == loadedFor)
        return context;
    SSL_CTX* made = SSL_CTX_new(TLS_client_method());
    if (made == nullptr || SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION) != 1 ||
        SSL_CTX_set_default_verify_paths(made) != 1) {
        SSL_CTX_free(made);
        ERR_clear_error();
        throw RuntimeError(RuntimeErrors::invalidCall, "The TLS library cannot be initialised.",
                           "OpenSSL");
    }
    SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_free(context);
    context = made;
    loadedFor = trustSettings;
    return context;
}

bool IsIpv4Address(const QByteArray& host) {
    for (const char c : host) {
        if (c != '.' && (c < '0' || c > '9'))
            return false;
    }
    return host.count('.') == 3;
}

// OpenSSL's short text of the oldest error it queued, then the queue emptied.
QByteArray TakeErrorText(const char* otherwise) {
    const unsigned long error = ERR_peek_error();
    const char* reason = error != 0 ? ERR_reason_error_string(error) : nullptr;
    ERR_clear_error();
    return reason != nullptr ? QByteArray(reason) : QByteArray(otherwise);
}

} // namespace

TlsSession::TlsSession(const QByteArray& host) : host_(host) {
    ssl_ = SSL_new(Context());
    incoming_ = BIO_new(BIO_s_mem());
    outgoing_ = BIO_new(BIO_s_mem());
    if (ssl_ == nullptr || incoming_ == nullptr || outgoing_ == nullptr) {
        BIO_free(incoming_);
        BIO_free(outgoing_);
        SSL_free(ssl_);
        ssl_ = nullptr;
        ERR_clear_error();
        throw RuntimeError(RuntimeErrors::outOfMemory, source);
    }
    SSL_set_bio(ssl_, incoming_, outgoing_);
    SSL_set_hostflags(ssl_, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    // SNI carries names only; SSL_set1_host checks an address as an address.
    const bool named = !IsIpv4Address(host_);
    if (SSL_set1_host(ssl_, host_.constData()) != 1 ||
        (named && SSL_ctrl(ssl_, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                           const_cast<char*>(host_.constData())) != 1)) {
        SSL_free(ssl_);
        ssl_ = nullptr;
        ERR_clear_error();
        throw RuntimeError(RuntimeErrors::invalidCall, source);
    }
    SSL_set_connect_state(ssl_);
    QByteArray none;
    Advance(none);
}

TlsSession::~TlsSession() {
    SSL_free(ssl_);
}

QByteArray TlsSession::TakeOutgoing() {
    QByteArray bytes(static_cast<qsizetype>(BIO_ctrl_pending(outgoing_)), Qt::Uninitialized);
    if (!bytes.isEmpty())
        BIO_read(outgoing_, bytes.data(), static_cast<int>(bytes.size()));
    return bytes;
}

QByteArray TlsSession::Feed(const QByteArray& ciphertext) {
    QByteArray plaintext;
    if (failure_ != Failure::None)
        return plaintext;
    if (!ciphertext.isEmpty() &&
        BIO_write(incoming_, ciphertext.constData(), static_cast<int>(ciphertext.size())) !=
            ciphertext.size())
        throw RuntimeError(RuntimeErrors::outOfMemory, source);
    Advance(plaintext);
    return plaintext;
}

void TlsSession::Write(const QByteArray& plaintext) {
    pendingPlaintext_ += plaintext;
    if (handshakeDone_ && failure_ == Failure::None)
        WritePending();
}

void TlsSession::Close() {
    if (handshakeDone_ && failure_ == Failure::None) {
        ERR_clear_error();
        SSL_shutdown(ssl_);
        ERR_clear_error();
    }
}

void TlsSession::ConnectionClosed() {
    if (!handshakeDone_ && failure_ == Failure::None)
        Fail(Failure::Handshake,
             "The server closed the connection during the secure (TLS) handshake.");
}

void TlsSession::Advance(QByteArray& plaintext) {
    if (!handshakeDone_) {
        ERR_clear_error();
        const int result = SSL_do_handshake(ssl_);
        if (result != 1) {
            const int error = SSL_get_error(ssl_, result);
            if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE)
                Fail(error);
            return;
        }
        handshakeDone_ = true;
        WritePending();
    }
    // Every record waiting may hold plaintext; the memory buffer holds at
    // least as many bytes as they decrypt to.
    while (failure_ == Failure::None && !closedCleanly_) {
        const qsizetype start = plaintext.size();
        const std::size_t room = BIO_ctrl_pending(incoming_) + 16384;
        plaintext.resize(start + static_cast<qsizetype>(room));
        std::size_t got = 0;
        ERR_clear_error();
        const int result = SSL_read_ex(ssl_, plaintext.data() + start, room, &got);
        plaintext.resize(start + static_cast<qsizetype>(got));
        if (result == 1)
            continue;
        const int error = SSL_get_error(ssl_, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            closedCleanly_ = true;
        else if (error != SSL_ERROR_WANT_READ)
            Fail(error);
        return;
    }
}

void TlsSession::WritePending() {
    if (pendingPlaintext_.isEmpty())
        return;
    std::size_t written = 0;
    ERR_clear_error();
    const int result = SSL_write_ex(ssl_, pendingPlaintext_.constData(),
                                    static_cast<std::size_t>(pendingPlaintext_.size()), &written);
    if (result != 1) {
        Fail(SSL_get_error(ssl_, result));
        return;
    }
    // A memory buffer takes everything at once.
    pendingPlaintext_.clear();
}

void TlsSession::Fail(int sslError) {
    if (handshakeDone_) {
        Fail(Failure::Broken,
             "The secure (TLS) connection failed (" +
                 TakeErrorText(sslError == SSL_ERROR_SYSCALL ? "unexpected end of data"
                                                             : "protocol error") +
                 ").");
        return;
    }
    const long verdict = SSL_get_verify_result(ssl_);
    if (verdict == X509_V_OK) {
        Fail(Failure::Handshake, "The server did not complete a secure (TLS) handshake (" +
                                     TakeErrorText("unexpected end of data") + ").");
        return;
    }
    ERR_clear_error();
    switch (verdict) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        Fail(Failure::WrongName,
             "The server's certificate is for another name, not " + host_ + ".");
        return;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        Fail(Failure::Expired, "The server's certificate has expired.");
        return;
    default:
        Fail(Failure::Untrusted, QByteArray("The server's certificate is not trusted (") +
                                     X509_verify_cert_error_string(verdict) + ").");
    }
}

void TlsSession::Fail(Failure failure, const QByteArray& reason) {
    failure_ = failure;
    failureReason_ = reason;
}
