// File access as the runtime offers it: binary files read and written at
// 1-based byte positions, text files read line by line, and Kill. Contents are
// byte text: every byte value is kept. Failures raise RuntimeError with the
// runtime's numbers (53 file not found, 62 input past end, 75 access error,
// 76 path not found).
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

class BinaryFile {
public:
    // Opens for binary access; a missing file is created empty, a missing
    // folder fails. A file that refuses writing is opened for reading only.
    explicit BinaryFile(const QString& path);

    qint64 Length() const;

    // Up to `count` bytes from the 1-based `position`; fewer near the end of the file.
    QByteArray Get(qint64 position, qint64 count);

    // Writes `bytes` at the 1-based `position`, growing the file as needed.
    void Put(qint64 position, const QByteArray& bytes);

    void Close();

private:
    QFile file_;
};

class TextFile {
public:
    // Opens an existing file for reading.
    explicit TextFile(const QString& path);
    // Reads lines from text already in memory.
    static TextFile FromText(QByteArray text);

    // The next line without its end; a line ends at CR or at CR LF.
    QByteArray LineInput();

    bool AtEnd() const { return position_ >= contents_.size(); }

private:
    TextFile() = default;

    QByteArray contents_;
    qsizetype position_ = 0;
};

// Deletes a file.
void Kill(const QString& path);
