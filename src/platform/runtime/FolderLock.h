// Locks that tie running copies of the program to the folder they work on
// without leaving anything in that folder: the lock files live where the
// desktop keeps such things ($XDG_RUNTIME_DIR, else a private folder of the
// user's under /tmp or in the user's cache), named after a hash of the folder's canonical path.
// They are open-file-description locks, so the kernel drops them with the process and two objects
// in one process exclude each other as two processes do.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class FolderLock {
public:
    enum Kind { Shared, Exclusive };

    // Nothing is opened yet; `purpose` tells apart the locks of one folder.
    FolderLock(const QString& folder, const char* purpose);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // Takes the lock without waiting; false while another holder's lock
    // excludes it. Raises 75 when the lock file cannot be opened.
    bool TryLock(Kind kind);

    // Takes the lock, pumping events and trying again every 100 ms while
    // another holder has it. `waiting` runs once, before the first wait.
    // False when `giveUp` answered true first.
    bool WaitLock(Kind kind, const std::function<void()>& waiting,
                  const std::function<bool()>& giveUp);

    // True when some other holder has this folder's lock, whatever kind:
    // a question that takes nothing and so disturbs no one.
    bool HeldElsewhere();

    // Drops the lock (and closes the lock file).
    void Unlock();

    // The lock file's path.
    const QString& FilePath() const { return path_; }

    // Where the lock files live: $XDG_RUNTIME_DIR/koru; else `privateFolder`
    // (/tmp/koru-UID) when it is the user's own and closed to others; else,
    // told once on stderr, koru/locks in the user's cache folder
    // ($XDG_CACHE_HOME, else ~/.cache), so every copy still meets there.
    static QString Directory(const QByteArray& privateFolder = TmpFolder());
    static QByteArray TmpFolder();

private:
    void Open();

    QString path_;
    int fd_ = -1;
    bool locked_ = false;
};
