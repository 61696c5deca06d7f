#include "platform/runtime/MenuItem.h"

#include <algorithm>

MenuItem::MenuItem(QByteArray name, QByteArray caption, MenuItem* parent, bool enabled)
    : Control(std::move(caption), enabled), name_(std::move(name)), parent_(parent) {
    if (parent_ != nullptr)
        parent_->items_.append(this);
}

QList<MenuItem*> MenuItem::Path() {
    QList<MenuItem*> path;
    for (MenuItem* item = this; item != nullptr; item = item->parent_)
        path.append(item);
    std::reverse(path.begin(), path.end());
    return path;
}

void MenuItem::SetVisible(bool visible) {
    visible_ = visible;
    Changed();
}
