// Whether the windowed program has a display to open its windows on, asked
// before Qt is started: without one Qt aborts with a message of its own.
#pragma once

#include <QByteArray>
#include <QStringList>

// True when a display server is named (DISPLAY, WAYLAND_DISPLAY) or a Qt
// platform is chosen (QT_QPA_PLATFORM, -platform on the command line).
bool DisplayAvailable(const QStringList& arguments);

// The one line koru prints when there is none.
QByteArray NoDisplayMessage();
