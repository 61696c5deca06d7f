// The Qt application of the windowed program. An error that no handler
// catches is reported as the runtime reports it, in a message box with its
// number and description, and then ends the program, instead of tearing the
// process down from inside the event loop.
#pragma once

#include <QApplication>
#include <exception>

class RuntimeApplication : public QApplication {
public:
    RuntimeApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Shows an error that reached the event loop and ends the program.
void ReportUncaughtError(const std::exception& error);
