#include "update/archive/ArchiveDownload.h"

#include "platform/runtime/FileAccess.h"
#include "platform/runtime/MsgBox.h"
#include "platform/runtime/OpenSave.h"

#include <QFileInfo>
#include <charconv>

namespace ArchiveDownload {

std::optional<SaveTarget> ChooseSaveTarget() {
    OpenSave dialog;
    dialog.SetFilter("ZIP|*.zip");
    dialog.ShowSave();
    QByteArray name = TextBeforeNul(dialog.FileName());
    if (name.isEmpty())
        return std::nullopt;
    if (name.right(4).toLower() != ".zip")
        name += ".zip";
    SaveTarget target{QFile::decodeName(name), false};
    target.created = !QFileInfo::exists(target.path);
    BinaryFile file(target.path);
    const qint64 length = file.Length();
    file.Close();
    if (length > 0 && MsgBox("File aready exists!\r\nOverwrite?", vbYesNo, "Overwrite?") == vbNo)
        return std::nullopt;
    return target;
}

void ForgetSaveTarget(const SaveTarget& target) {
    const QFileInfo file(target.path);
    if (target.created && file.isFile() && file.size() == 0)
        QFile::remove(target.path);
}

QByteArray VersionText(float version) {
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, version);
    return QByteArray(text, written.ptr - text);
}

TransferFailure CannotSave(const RuntimeError& error) {
    return {TransferFailure::Kind::Save,
            "Cannot save " + error.Source() + ": " + error.Description() + '.'};
}

QByteArray SaveFailure(const RuntimeError& error) {
    return "SAVE FAILED: " + error.Source() + ": " + error.Description() + '.';
}

} // namespace ArchiveDownload
