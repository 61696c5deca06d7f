#include "ui/DisplayCheck.h"

#include <QtGlobal>

bool DisplayAvailable(const QStringList& arguments) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        if (!qEnvironmentVariableIsEmpty(variable))
            return true;
    // Qt takes its own options with one dash or two.
    return arguments.contains(u"-platform") || arguments.contains(u"--platform");
}

QByteArray NoDisplayMessage() {
    return "koru: no display (DISPLAY and WAYLAND_DISPLAY are unset); koru-cli runs "
           "KORU's commands from a console\n";
}
