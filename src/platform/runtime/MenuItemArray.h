// A menu-item array: items that share one click handler, which receives the
// element's index. Elements are named "name(index)" and sit side by side in
// their parent's submenu.
#pragma once

#include "platform/runtime/MenuItem.h"

#include <QByteArrayList>
#include <functional>
#include <memory>
#include <vector>

class MenuItemArray {
public:
    MenuItemArray(const QByteArray& name, const QByteArrayList& captions, MenuItem* parent,
                  bool enabled = true);

    MenuItem& operator()(int index) { return *items_.at(static_cast<std::size_t>(index)); }
    const MenuItem& operator()(int index) const {
        return *items_.at(static_cast<std::size_t>(index));
    }
    int UBound() const { return static_cast<int>(items_.size()) - 1; }

    // The shared click event, with the index of the element clicked.
    std::function<void(int index)> onClick;

private:
    std::vector<std::unique_ptr<MenuItem>> items_;
};
