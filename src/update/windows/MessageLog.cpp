#include "update/windows/MessageLog.h"

#include <algorithm>

void MessageLog::SetText(const QByteArray& text) {
    text_ = text;
    selStart_ = 0;
    Refresh();
    if (onChange)
        onChange();
}

void MessageLog::Append(const QByteArray& text) {
    SetText(text_ + text);
}

void MessageLog::Reset() {
    text_.clear();
    selStart_ = 0;
    Refresh();
}

void MessageLog::SetSelStart(qsizetype position) {
    selStart_ = std::clamp<qsizetype>(position, 0, text_.size());
    Refresh();
}

void MessageLog::Refresh() {
    if (refreshView)
        refreshView();
}
