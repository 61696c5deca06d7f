#include "support/NginxServer.h"

#include "support/LoopbackPort.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <stdexcept>

QString NginxServer::Program() {
    QString program = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (program.isEmpty())
        program = QStandardPaths::findExecutable(
            QStringLiteral("nginx"),
            {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
    return program;
}

NginxServer::NginxServer(const QString& root, const Tls& tls, const QString& rules)
    : root_(QDir(root).absolutePath()), tls_(tls), rules_(rules) {
    if (Program().isEmpty())
        throw std::runtime_error("nginx is not installed");
    QDir(work_.path()).mkpath(QStringLiteral("temp"));
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (TryStart(UnusedLoopbackPort()))
            return;
    }
    QFile log(work_.filePath(QStringLiteral("error.log")));
    log.open(QIODevice::ReadOnly);
    throw std::runtime_error("nginx did not start: " + log.readAll().toStdString());
}

QByteArray NginxServer::hostAndPort() const {
    return "127.0.0.1:" + QByteArray::number(port_);
}

bool NginxServer::TryStart(std::uint16_t port) {
    const QString dir = work_.path();
    const QString temp = dir + QStringLiteral("/temp");
    const QString listen =
        tls_.certificate.isEmpty()
            ? QString::number(port)
            : QStringLiteral("%1 ssl;\n    ssl_certificate %2;\n    ssl_certificate_key %3")
                  .arg(QString::number(port), tls_.certificate, tls_.key);
    const QString config =
        QStringLiteral("daemon off;\nmaster_process off;\nworker_processes 1;\n"
                       "pid %1/nginx.pid;\nerror_log %1/error.log warn;\n"
                       "events { worker_connections 1024; }\n"
                       "http {\n  access_log off;\n"
                       "  client_body_temp_path %2; proxy_temp_path %2; fastcgi_temp_path %2;\n"
                       "  uwsgi_temp_path %2; scgi_temp_path %2;\n"
                       "  types { text/plain txt; image/gif gif; application/zip zip; }\n"
                       "  default_type application/octet-stream;\n"
                       "  server {\n    listen 127.0.0.1:%3;\n    root %4;\n%5"
                       "    location / { try_files $uri =404; }\n  }\n}\n")
            .arg(dir, temp, listen, root_, rules_);
    QFile file(dir + QStringLiteral("/nginx.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(config.toUtf8());
    file.close();

    if (!process_.Start(Program(),
                        {QStringLiteral("-p"), dir, QStringLiteral("-c"), file.fileName(),
                         QStringLiteral("-e"), dir + QStringLiteral("/error.log")},
                        port))
        return false;
    port_ = port;
    return true;
}
