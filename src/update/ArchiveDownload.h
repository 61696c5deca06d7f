// What both windows share when they download VANTO's archive: asking where
// to save it, the version text of their messages, the receiver's start, its
// signature verdict and its save, and putting the chosen file back when the
// download fails.
#pragma once

#include "platform/runtime/RuntimeError.h"
#include "update/ArchiveVerifier.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class ArchiveReceiver;

namespace ArchiveDownload {

inline constexpr char archivePath[] = "/files/vanto.zip";

// Where the archive goes, and whether asking for it created the file.
struct SaveTarget {
    QString path;
    bool created = false;
};

// Asks for the file with a fresh save dialog, adds ".zip" unless the name
// ends in it (any case), creates the file when missing and asks before
// overwriting one with content. Nothing when the user cancels or answers No.
// Raises RuntimeError when the file cannot be opened.
std::optional<SaveTarget> ChooseSaveTarget();

// After a failed download: removes the file when asking for it created it
// and it is still empty. A file that was there before is never touched.
void ForgetSaveTarget(const SaveTarget& target);

// The offered version in its shortest decimal form: 2.14, 2.2.
QByteArray VersionText(float version);

// Why a file could not be opened or saved, from the file access error
// (whose source is the file's name): a transfer's reason...
QByteArray CannotSave(const RuntimeError& error);
// ...and the line for a file that could not be opened before any transfer.
QByteArray SaveFailure(const RuntimeError& error);

// The receiver for the shared state's target and request; nothing, with the
// reason in `failure`, when the target's folder cannot take it or a trusted
// key is unusable (nothing is fetched that could not be checked).
std::unique_ptr<ArchiveReceiver> OpenReceiver(QByteArray& failure);

// The verdict on the complete archive from the answer to its signature's
// request, now in responseBuffer.
ArchiveVerifier::Verdict SignatureVerdict(const ArchiveReceiver& archive, bool signatureNotFound);

// Puts the verified archive over its target and lets the receiver go; the
// shared state counts the archive's bytes. Answers that count; raises
// RuntimeError when the save fails.
std::int64_t Save(std::unique_ptr<ArchiveReceiver>& archive);

} // namespace ArchiveDownload
