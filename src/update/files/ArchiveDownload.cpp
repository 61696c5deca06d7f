#include "update/files/ArchiveDownload.h"

#include "platform/runtime/FileAccess.h"
#include "update/net/FailureReason.h"

#include <QFileInfo>
#include <charconv>
#include <climits>

namespace ArchiveDownload {

std::optional<SaveTarget> ChooseSaveTarget(const ChooseFile& chooseFile, const Ask& ask) {
    QByteArray name = chooseFile();
    if (name.isEmpty())
        return std::nullopt;
    if (name.right(4).toLower() != ".zip")
        name += ".zip";
    if (name.size() >= PATH_MAX)
        throw RuntimeError(RuntimeErrors::badFileName,
                           "Bad file name: the path is longer than the system's limit of " +
                               QByteArray::number(PATH_MAX - 1) + " bytes",
                           name);
    SaveTarget target{QFile::decodeName(name), false};
    // The save replaces a link itself; opening one that points nowhere would
    // leave an empty file where it points.
    if (const QFileInfo link(target.path); link.isSymLink() && !link.exists())
        return target;
    target.created = !QFileInfo::exists(target.path);
    BinaryFile file(target.path);
    const qint64 length = file.Length();
    file.Close();
    if (length > 0 && !ask("File aready exists!\r\nOverwrite?", "Overwrite?"))
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
    return {TransferFailure::Kind::Save, "Cannot save " + error.Source() + ": " +
                                             FailureReason::Joined(error.Description(), ".")};
}

QByteArray SaveFailure(const RuntimeError& error) {
    return "SAVE FAILED: " + error.Source() + ": " +
           FailureReason::Joined(error.Description(), ".");
}

} // namespace ArchiveDownload
