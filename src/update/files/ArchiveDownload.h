// What both windows share when they download VANTO's archive, around the
// download itself: where to save it (the windows ask, through the callbacks
// they pass), the version text of their messages, why a file could not be
// saved, and putting the chosen file back when the download fails.
#pragma once

#include "platform/runtime/RuntimeError.h"
#include "update/net/TransferFailure.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace ArchiveDownload {

// Where the archive goes, and whether asking for it created the file.
struct SaveTarget {
    QString path;
    bool created = false;
};

// The front end's save dialog: the file chosen, empty when cancelled.
using ChooseFile = std::function<QByteArray()>;
// A Yes/No question under its title, as the front end asks it: true for Yes.
using Ask = std::function<bool(const QByteArray& question, const QByteArray& title)>;

// Asks for the file (`chooseFile`), adds ".zip" unless the name ends in it
// (any case), creates the file when missing and asks (`ask`) before
// overwriting one with content. Nothing when the user cancels or answers No.
// Raises RuntimeError when the file cannot be opened.
std::optional<SaveTarget> ChooseSaveTarget(const ChooseFile& chooseFile, const Ask& ask);

// After a failed download: removes the file when asking for it created it
// and it is still empty. A file that was there before is never touched.
void ForgetSaveTarget(const SaveTarget& target);

// The offered version in its shortest decimal form: 2.14, 2.2.
QByteArray VersionText(float version);

// Why a file could not be opened or saved, from the file access error
// (whose source is the file's name): a transfer's failure...
TransferFailure CannotSave(const RuntimeError& error);
// ...and the line for a file that could not be opened before any transfer.
QByteArray SaveFailure(const RuntimeError& error);

} // namespace ArchiveDownload
