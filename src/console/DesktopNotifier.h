// Tells the desktop what koru-cli's check offered: one notification through
// the freedesktop notification service on the session bus, once per offer,
// whose action opens KORU's main window on the same VANTO folder. It never
// downloads anything.
#pragma once

#include "console/ConsoleRunner.h"

#include <QIODevice>
#include <QObject>
#include <chrono>

class QEventLoop;

class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // Problems (no notification service, KORU not started) go to `err` as one line each.
    explicit DesktopNotifier(QIODevice& err);

    // Posts the notification unless this offer is the one announced last, then
    // waits up to `wait` for its action or its closing.
    void Announce(const ConsoleOffer& offer);

    // The notification's text, which names what is offered.
    static QByteArray Summary(const ConsoleOffer& offer);
    static QByteArray Body(const ConsoleOffer& offer);
    // Where the last announced offer is remembered: $XDG_STATE_HOME/koru/announced.
    static QString StateFile();

    std::chrono::milliseconds wait = std::chrono::minutes(10);

private Q_SLOTS:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    void Say(const QByteArray& line);

    QIODevice& err_;
    uint id_ = 0;
    QString home_;
    QByteArray server_;
    QEventLoop* waiting_ = nullptr;
};
