// The main window's message log (the text box SystemMessagesText1): byte text
// written by replace and append, with the text box's Change event and caret.
#pragma once

#include "update/formats/JobLog.h"

#include <QByteArray>
#include <functional>

class MessageLog : public JobLog {
public:
    MessageLog() = default;
    MessageLog(const MessageLog&) = delete;
    MessageLog& operator=(const MessageLog&) = delete;

    const QByteArray& Text() const override { return text_; }
    void SetText(const QByteArray& text) override;
    void Append(const QByteArray& text) override;
    // Empties the log as a window load does, without a Change event.
    void Reset();

    // Caret position in characters; setting the text puts it back to 0.
    qsizetype SelStart() const { return selStart_; }
    void SetSelStart(qsizetype position);

    // The Change event, after every write of the text.
    std::function<void()> onChange;
    // Called after every change of text or caret, for the view.
    std::function<void()> refreshView;

private:
    void Refresh();

    QByteArray text_;
    qsizetype selStart_ = 0;
};
