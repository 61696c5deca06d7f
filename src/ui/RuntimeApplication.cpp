#include "ui/RuntimeApplication.h"

#include "platform/EndProgram.h"
#include "platform/MsgBox.h"
#include "platform/RuntimeError.h"

RuntimeApplication::RuntimeApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool RuntimeApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const RuntimeError& e) {
        MsgBox("Run-time error '" + QByteArray::number(e.Number()) + "':\n\n" + e.Description(),
               vbOKOnly | vbCritical);
    } catch (const std::exception& e) {
        MsgBox(QByteArray("Unexpected error:\n\n") + e.what(), vbOKOnly | vbCritical);
    }
    EndProgram();
    return false;
}
