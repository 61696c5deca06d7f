#include "update/windows/WindowSeams.h"

#include "platform/runtime/EndProgram.h"
#include "platform/runtime/Events.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/OpenSave.h"
#include "platform/runtime/RuntimeError.h"

#include <cstdint>
#include <limits>

namespace WindowSeams {

bool AskYesNo(const QByteArray& question, const QByteArray& title) {
    return MsgBox(question, vbYesNo, title) == vbYes;
}

QByteArray ChooseArchiveFile() {
    OpenSave dialog;
    dialog.SetFilter("ZIP|*.zip");
    // The dialog's default buffer takes a path under 260 bytes and fails a
    // longer one as if cancelled; the largest buffer holds any path the system
    // can, so one that is too long is told after it.
    dialog.SetMaxFileSize(std::numeric_limits<std::int16_t>::max());
    dialog.ShowSave();
    return TextBeforeNul(dialog.FileName());
}

UpdateInstaller::Progress Repainting(UpdateInstaller::Progress shown) {
    return [shown = std::move(shown)](const UpdateInstaller::Staging& staging, bool done) {
        shown(staging, done);
        if (done)
            return;
        DoEvents();
        if (ProgramEnded())
            throw RuntimeError(RuntimeErrors::cancelSelected,
                               "The window was closed while the update was being staged; "
                               "nothing was installed.",
                               "InstallCheck");
    };
}

} // namespace WindowSeams
