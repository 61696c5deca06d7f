// notification-standin RECORD action|none PROGRAM ARG...: runs PROGRAM on a
// session bus where this stand-in is the notification service (start it with
// dbus-run-session) and ends with PROGRAM's exit status.
#include "NotificationService.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QProcess>
#include <QTimer>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 4) {
        std::fputs("usage: notification-standin RECORD action|none PROGRAM ARG...\n", stderr);
        return 64;
    }
    NotificationService service(arguments.at(1), arguments.at(2) == u"action");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerService(QStringLiteral("org.freedesktop.Notifications")) ||
        !bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals))
        qFatal("cannot register the notification service: %s",
               qPrintable(bus.lastError().message()));
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(&program, &QProcess::finished, &app,
                     [&](int status) { QCoreApplication::exit(status); });
    QObject::connect(&program, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError) {
        if (program.state() == QProcess::NotRunning)
            QCoreApplication::exit(127);
    });
    program.start(arguments.at(3), arguments.mid(4));
    return QCoreApplication::exec();
}
