// A stand-in for the desktop's notification service: registered under the
// real name and interface on the session bus, it records each Notify call as
// one line and, when asked to, invokes the notification's default action.
#pragma once

#include <QFile>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

class NotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    NotificationService(const QString& record, bool invoke);

public Q_SLOTS:
    uint Notify(const QString& appName, uint replacesId, const QString& appIcon,
                const QString& summary, const QString& body, const QStringList& actions,
                const QVariantMap& hints, int expireTimeout);

Q_SIGNALS:
    void ActionInvoked(uint id, const QString& actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QFile record_;
    bool invoke_;
    uint lastId_ = 0;
};
