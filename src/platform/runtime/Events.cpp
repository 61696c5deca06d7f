#include "platform/runtime/Events.h"

#include <QCoreApplication>
#include <QEventLoop>

void DoEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void WaitForEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void WaitUntil(const std::function<bool()>& done) {
    while (!done())
        WaitForEvents();
}
