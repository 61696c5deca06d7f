// OpenSave: the Save and Open file dialogs behind a set of properties. The
// caller sets what it cares about, calls ShowSave or ShowOpen and reads the
// chosen file from the properties. Text properties are byte text, the way
// the dialog takes them; FileName comes back as the chosen path padded with
// NULs to its buffer's length, so callers keep what precedes the first NUL.
#pragma once

#include <QByteArray>
#include <cstdint>

class OpenSave {
public:
    OpenSave();

    std::int16_t FileExt() const { return fileExt_; }
    void SetFileExt(std::int16_t value) { fileExt_ = value; }
    std::int32_t hwnd() const { return hwnd_; }
    void Sethwnd(std::int32_t value) { hwnd_ = value; }

    // Shows the modal dialog; the outcome is in the properties. A cancelled
    // dialog raises 32755 when CancelError is set and changes nothing otherwise.
    void ShowSave();
    void ShowOpen();

    std::int16_t MaxFileSize() const { return maxFileSize_; }
    void SetMaxFileSize(std::int16_t value) { maxFileSize_ = value; }
    const QByteArray& InitDir() const { return initDir_; }
    void SetInitDir(const QByteArray& value) { initDir_ = value; }
    std::int32_t Flags() const { return flags_; }
    void SetFlags(std::int32_t value) { flags_ = value; }
    // Written and read as "description|patterns|..."; kept NUL-separated and
    // ending in two NULs, the form the dialog takes.
    QByteArray Filter() const;
    void SetFilter(const QByteArray& value);
    std::int16_t FilterIndex() const { return filterIndex_; }
    void SetFilterIndex(std::int16_t value) { filterIndex_ = value; }
    const QByteArray& FileTitle() const { return fileTitle_; }
    void SetFileTitle(const QByteArray& value) { fileTitle_ = value; }
    const QByteArray& FileName() const { return fileName_; }
    void SetFileName(const QByteArray& value) { fileName_ = value; }
    const QByteArray& DialogTitle() const { return dialogTitle_; }
    void SetDialogTitle(const QByteArray& value) { dialogTitle_ = value; }
    const QByteArray& DefaultExt() const { return defaultExt_; }
    void SetDefaultExt(const QByteArray& value) { defaultExt_ = value; }
    bool CancelError() const { return cancelError_; }
    void SetCancelError(bool value) { cancelError_ = value; }

private:
    void ShowDialog(bool save);

    bool cancelError_ = false;
    QByteArray defaultExt_;
    QByteArray dialogTitle_;
    QByteArray fileName_;
    QByteArray fileTitle_;
    std::int16_t filterIndex_ = 1;
    QByteArray filter_;
    std::int32_t flags_ = 0;
    QByteArray initDir_;
    std::int16_t maxFileSize_ = 260;
    std::int32_t hwnd_ = 0;
    std::int16_t fileExt_ = 0;
};

// What precedes the first NUL: the chosen path out of FileName.
QByteArray TextBeforeNul(const QByteArray& text);
