#include "ui/RuntimeApplication.h"

#include "platform/runtime/EndProgram.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/RuntimeError.h"

RuntimeApplication::RuntimeApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool RuntimeApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        ReportUncaughtError(e);
    }
    return false;
}

void ReportUncaughtError(const std::exception& error) {
    if (const auto* runtime = dynamic_cast<const RuntimeError*>(&error))
        MsgBox("Run-time error '" + QByteArray::number(runtime->Number()) + "':\n\n" +
                   runtime->Description(),
               vbOKOnly | vbCritical);
    else
        MsgBox(QByteArray("Unexpected error:\n\n") + error.what(), vbOKOnly | vbCritical);
    EndProgram();
}
