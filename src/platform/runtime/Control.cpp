#include "platform/runtime/Control.h"

Control::Control(QByteArray caption, bool enabled)
    : caption_(std::move(caption)), enabled_(enabled) {}

void Control::SetCaption(const QByteArray& caption) {
    caption_ = caption;
    Changed();
}

void Control::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Changed();
}

bool Control::Click() {
    if (!enabled_)
        return false;
    if (onClick)
        onClick();
    return true;
}

void Control::Changed() {
    if (refreshView)
        refreshView();
}
