// The part of an interrupted download kept beside its target for a resume:
// its name (KORU's own, made from the target and the archive's address), the
// validator the server gave its bytes, and the pointer in KORU's state folder
// to the one part kept at a time. A part goes when its download completes,
// when a download to another target starts, or after seven days. The bytes
// themselves are the download file's to write.
#pragma once

#include <QByteArray>
#include <QString>

class KeptPart {
public:
    // The part of the download of `url` into `target` (an absolute path).
    KeptPart(const QString& target, const QByteArray& url);

    const QString& Path() const { return path_; }
    // The validator the part was kept under; empty when there is none. A part
    // kept under one that cannot be sent back is not worth keeping: it goes.
    QByteArray Validator() const;
    // Removes the parts kept for other downloads: the one the pointer names
    // elsewhere, the others in `folder`, and this one when it has grown old.
    void ForgetOthers(const QString& folder) const;
    // Records the part as kept under `validator`; false when it cannot be.
    bool Record(const QByteArray& validator) const;
    // The part's bytes no longer stand under its validator (started over).
    void ForgetValidator() const;
    // The part is gone (saved or removed): its record goes with it.
    void Forget() const;

    // True for a validator that can go back to the server in a header line
    // as it came: not empty, no control byte (a CR would start a new line).
    static bool Sendable(const QByteArray& validator);
    // Opens a file of KORU's own naming and tries its lock, which a KORU
    // writing the file holds. Answers the descriptor (-1 when there is no
    // such file) and whether the lock is held elsewhere.
    static int OpenAndTryLock(const QByteArray& path, bool& held);

private:
    QString path_;
};
