#include "console/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QTimer>

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");

QByteArray LastAnnounced() {
    QFile file(DesktopNotifier::StateFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

DesktopNotifier::DesktopNotifier(QIODevice& err) : err_(err) {}

QByteArray DesktopNotifier::Summary(const ConsoleOffer& offer) {
    return offer.vanto ? "VANTO " + offer.version + " is available" : "New VANTO help links";
}

QByteArray DesktopNotifier::Body(const ConsoleOffer& offer) {
    if (offer.vanto && offer.helpLinks)
        return "KORU can download VANTO " + offer.version + " and new help links.";
    if (offer.vanto)
        return "KORU can download VANTO " + offer.version + '.';
    return "KORU can download new help links for VANTO.";
}

QString DesktopNotifier::StateFile() {
    QString state = QFile::decodeName(qgetenv("XDG_STATE_HOME"));
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/koru/announced");
}

void DesktopNotifier::Announce(const ConsoleOffer& offer) {
    const QByteArray key = Summary(offer) + '\n' + Body(offer) + '\n';
    if (LastAnnounced() == key)
        return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusInterface notifications(service, path, interface, bus);
    if (!bus.isConnected() || !notifications.isValid()) {
        const QDBusError error = bus.isConnected() ? notifications.lastError() : bus.lastError();
        Say("no desktop notification service (" + error.message().toLocal8Bit() +
            "): not notified");
        return;
    }
    bus.connect(service, path, interface, QStringLiteral("ActionInvoked"), this,
                SLOT(ActionInvoked(uint, QString)));
    bus.connect(service, path, interface, QStringLiteral("NotificationClosed"), this,
                SLOT(NotificationClosed(uint, uint)));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("koru")}};
    const QDBusReply<uint> reply = notifications.call(
        QStringLiteral("Notify"), QStringLiteral("KORU"), 0U, QStringLiteral("koru"),
        QString::fromUtf8(Summary(offer)), QString::fromUtf8(Body(offer)),
        QStringList{QStringLiteral("default"), QStringLiteral("Open KORU")}, hints, -1);
    if (!reply.isValid()) {
        Say("the desktop notification failed: " + reply.error().message().toLocal8Bit());
        return;
    }
    id_ = reply.value();
    home_ = offer.home;
    server_ = offer.server;
    QSaveFile file(StateFile());
    if (!QDir().mkpath(QFileInfo(StateFile()).path()) || !file.open(QIODevice::WriteOnly) ||
        file.write(key) < 0 || !file.commit())
        Say("cannot remember the announcement in " + StateFile().toLocal8Bit() + ": " +
            file.errorString().toLocal8Bit());

    // Waiting in the event loop, as the action arrives as a signal.
    QEventLoop waiting;
    waiting_ = &waiting;
    QTimer::singleShot(wait, &waiting, &QEventLoop::quit);
    waiting.exec();
    waiting_ = nullptr;
}

void DesktopNotifier::ActionInvoked(uint id, const QString& action) {
    if (id != id_ || waiting_ == nullptr)
        return;
    // Every action opens the main window; the notification offers only that one.
    // It checks the same server again at once, so that it opens on the offer.
    Q_UNUSED(action);
    if (!QProcess::startDetached(QStringLiteral("koru"),
                                 {QStringLiteral("--home"), home_, QStringLiteral("--server"),
                                  QString::fromUtf8(server_), QStringLiteral("--check")}))
        Say("cannot start koru to open KORU's main window");
    waiting_->quit();
}

void DesktopNotifier::NotificationClosed(uint id, uint reason) {
    Q_UNUSED(reason);
    if (id == id_ && waiting_ != nullptr)
        waiting_->quit();
}

void DesktopNotifier::Say(const QByteArray& line) {
    err_.write("koru-cli: " + line + '\n');
}
