// Answers KORU's file dialogs and message boxes for a test, as a user would,
// recording what was asked; the previous handlers come back at the end.
#pragma once

#include "platform/runtime/FileDialog.h"
#include "platform/runtime/MsgBox.h"

#include <QByteArrayList>
#include <QList>

class DialogAnswers {
public:
    DialogAnswers()
        : previousDialog_(SetFileDialogHandler([this](const FileDialogRequest& request) {
              dialogs.append(request);
              if (file.isEmpty())
                  return FileDialogResult{};
              return FileDialogResult{true, file, request.filterIndex};
          })),
          previousBox_(SetMsgBoxHandler([this](const MsgBoxRequest& request) {
              boxes.append(request.title + "|" + request.prompt + "|" +
                           QByteArray::number(request.buttons));
              return request.asksYesNo() ? answer : vbOK;
          })) {}
    ~DialogAnswers() {
        SetFileDialogHandler(std::move(previousDialog_));
        SetMsgBoxHandler(std::move(previousBox_));
    }
    DialogAnswers(const DialogAnswers&) = delete;
    DialogAnswers& operator=(const DialogAnswers&) = delete;

    QString file;               // the file chosen in the next dialogs; empty cancels them
    MsgBoxResult answer = vbNo; // to Yes/No questions
    QList<FileDialogRequest> dialogs;
    QByteArrayList boxes; // "title|prompt|buttons"

private:
    FileDialogHandler previousDialog_;
    MsgBoxHandler previousBox_;
};

// The question asked before an existing file with content is overwritten.
inline const QByteArray overwriteQuestion =
    "Overwrite?|File aready exists!\r\nOverwrite?|" + QByteArray::number(vbYesNo);

// An archive answer as a web server sends it; `headers` are whole lines.
inline QByteArray ZipResponse(const QByteArray& body, const QByteArray& headers = {},
                              const QByteArray& status = "200 OK") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: application/zip\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\n" + headers + "\r\n" + body;
}

// The whole archive announced, the answer cut after `kept` body bytes.
inline QByteArray CutZipResponse(const QByteArray& body, qsizetype kept,
                                 const QByteArray& headers = {}) {
    const QByteArray whole = ZipResponse(body, headers);
    return whole.left(whole.size() - body.size() + kept);
}

// The answer to a request for the archive's bytes from `from` on.
inline QByteArray PartialZipResponse(const QByteArray& body, qsizetype from,
                                     const QByteArray& headers = {}) {
    return ZipResponse(body.mid(from),
                       headers + "Content-Range: bytes " + QByteArray::number(from) + '-' +
                           QByteArray::number(body.size() - 1) + '/' +
                           QByteArray::number(body.size()) + "\r\n",
                       "206 Partial Content");
}

// Bytes of every value, as an archive holds them.
inline QByteArray ArchiveBytes() {
    QByteArray bytes;
    for (int round = 0; round < 3; ++round)
        for (int value = 0; value < 256; ++value)
            bytes.append(char(value));
    return bytes + QByteArray("PK\r\n\r\n\0end", 10);
}
