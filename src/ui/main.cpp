// KORU's windowed entry point: the main window's load picks normal or quick mode.
#include "platform/runtime/App.h"
#include "platform/runtime/EndProgram.h"
#include "ui/KoruApplication.h"
#include "ui/RuntimeApplication.h"

int main(int argc, char** argv) {
    RuntimeApplication app(argc, argv);
    SetCommand(QApplication::arguments().mid(1));
    // Taken at start so that a later copy in quick mode sees this one.
    App::PrevInstance();

    KoruApplication koru;
    koru.Start();
    if (ProgramEnded())
        return 0;
    return QApplication::exec();
}
