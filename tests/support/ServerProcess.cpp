#include "support/ServerProcess.h"

#include "support/LoopbackPort.h"

#include <QDeadlineTimer>
#include <QThread>

bool ServerProcess::Start(const QString& program, const QStringList& arguments,
                          std::uint16_t port) {
    Stop();
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, arguments);
    if (!process_.waitForStarted(5000))
        return false;
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (process_.state() == QProcess::NotRunning)
            return false;
        if (LoopbackAccepts(port))
            return true;
        QThread::msleep(10);
    }
    Stop();
    return false;
}

void ServerProcess::Stop() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}
