// Certificates for TLS tests, made at run time with the `openssl` program in
// a folder of the test's own: a CA, and server certificates it signs (or
// that sign themselves) for the loopback names, another name, or a time
// that is over. Elliptic-curve keys, so making one takes milliseconds.
#pragma once

#include <QString>
#include <QTemporaryDir>

class TestCertificates {
public:
    enum class Kind {
        Trusted,    // by the CA, for localhost and 127.0.0.1
        SelfSigned, // for localhost and 127.0.0.1, signed by itself
        OtherName,  // by the CA, for other.example only
        Expired,    // by the CA, for localhost and 127.0.0.1, ended in 2020
    };
    struct Files {
        QString certificate;
        QString key;
    };

    // The openssl program, or an empty text when it is not installed.
    static QString Program();

    // Makes the CA; throws std::runtime_error when openssl fails.
    TestCertificates();

    // The CA's certificate, for SSL_CERT_FILE.
    QString CaFile() const { return dir_.filePath(QStringLiteral("ca.pem")); }
    // A new server certificate and its key; throws std::runtime_error when openssl fails.
    Files Make(Kind kind);

private:
    void Run(const QStringList& arguments, bool inThePast = false);

    QTemporaryDir dir_;
    int made_ = 0;
};
