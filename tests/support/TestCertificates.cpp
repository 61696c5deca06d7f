#include "support/TestCertificates.h"

#include "support/TestFiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <stdexcept>

namespace {

// Our own configuration, so the machine's openssl.cnf changes nothing.
constexpr char config[] = "[req]\ndistinguished_name = dn\nprompt = no\n[dn]\nCN = KORU test CA\n"
                          "[ca]\nbasicConstraints = critical,CA:TRUE\n"
                          "keyUsage = critical,keyCertSign,cRLSign\nsubjectKeyIdentifier = hash\n";

QStringList NewKey(const QString& key) {
    return {QStringLiteral("-newkey"),
            QStringLiteral("ec"),
            QStringLiteral("-pkeyopt"),
            QStringLiteral("ec_paramgen_curve:prime256v1"),
            QStringLiteral("-nodes"),
            QStringLiteral("-keyout"),
            key};
}

} // namespace

QString TestCertificates::Program() {
    return QStandardPaths::findExecutable(QStringLiteral("openssl"));
}

TestCertificates::TestCertificates() {
    if (Program().isEmpty())
        throw std::runtime_error("openssl is not installed");
    WriteFile(dir_.filePath(QStringLiteral("openssl.cnf")), config);
    Run(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-extensions"),
                    QStringLiteral("ca"), QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-out"), CaFile()} +
        NewKey(dir_.filePath(QStringLiteral("ca.key"))));
}

TestCertificates::Files TestCertificates::Make(Kind kind) {
    const QString name = QStringLiteral("server%1").arg(++made_);
    const Files files{dir_.filePath(name + QStringLiteral(".pem")),
                      dir_.filePath(name + QStringLiteral(".key"))};
    const QString extensions = dir_.filePath(name + QStringLiteral(".ext"));
    const QByteArray names =
        kind == Kind::OtherName ? "DNS:other.example" : "DNS:localhost,IP:127.0.0.1";
    WriteFile(extensions, "basicConstraints = CA:FALSE\nsubjectAltName = " + names + "\n");
    const QString subject = kind == Kind::OtherName ? QStringLiteral("/CN=other.example")
                                                    : QStringLiteral("/CN=localhost");
    if (kind == Kind::SelfSigned) {
        Run(QStringList{QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-subj"),
                        subject, QStringLiteral("-addext"),
                        QStringLiteral("subjectAltName = ") + QString::fromLatin1(names),
                        QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-out"),
                        files.certificate} +
            NewKey(files.key));
        return files;
    }
    const QString request = dir_.filePath(name + QStringLiteral(".csr"));
    Run(QStringList{QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-subj"), subject,
                    QStringLiteral("-out"), request} +
        NewKey(files.key));
    // The expired one is signed by a clock set back to 2020, valid for two days then.
    Run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
         QStringLiteral("-CA"), CaFile(), QStringLiteral("-CAkey"),
         dir_.filePath(QStringLiteral("ca.key")), QStringLiteral("-set_serial"),
         QString::number(made_), QStringLiteral("-days"), QStringLiteral("2"),
         QStringLiteral("-extfile"), extensions, QStringLiteral("-out"), files.certificate},
        kind == Kind::Expired);
    return files;
}

void TestCertificates::Run(const QStringList& arguments, bool inThePast) {
    QStringList command = arguments;
    if (arguments.first() == QStringLiteral("req"))
        command += {QStringLiteral("-config"), dir_.filePath(QStringLiteral("openssl.cnf"))};
    QString program = Program();
    if (inThePast) {
        program = QStandardPaths::findExecutable(QStringLiteral("faketime"));
        if (program.isEmpty())
            throw std::runtime_error("faketime is not installed");
        command = QStringList{QStringLiteral("2020-01-01 00:00:00"), Program()} + command;
    }
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(program, command);
    if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
        openssl.exitCode() != 0)
        throw std::runtime_error("openssl " + arguments.first().toStdString() +
                                 " failed: " + openssl.readAll().toStdString());
}
