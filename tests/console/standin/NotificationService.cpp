#include "NotificationService.h"

#include <QTimer>

NotificationService::NotificationService(const QString& record, bool invoke)
    : record_(record), invoke_(invoke) {
    if (!record_.open(QIODevice::WriteOnly | QIODevice::Append))
        qFatal("cannot write %s", qPrintable(record));
}

uint NotificationService::Notify(const QString& appName, uint, const QString& appIcon,
                                 const QString& summary, const QString& body,
                                 const QStringList& actions, const QVariantMap& hints, int) {
    const uint id = ++lastId_;
    record_.write((QStringList{appName, appIcon, summary, body, actions.join(u','),
                               hints.value(QStringLiteral("desktop-entry")).toString()}
                       .join(u'|') +
                   u'\n')
                      .toUtf8());
    record_.flush();
    if (invoke_)
        QTimer::singleShot(100, this, [this, id] {
            Q_EMIT ActionInvoked(id, QStringLiteral("default"));
            Q_EMIT NotificationClosed(id, 2);
        });
    return id;
}
