// A menu item: a control with a name, a place in the menu tree and, for a head,
// the items of its submenu. A head's click event runs as its submenu opens.
// The caption "-" makes a separator line. A hidden item is not in its menu at
// all; whoever hides one disables it too, so that nothing clicks it.
#pragma once

#include "platform/runtime/Control.h"

#include <QList>

class MenuItem : public Control {
public:
    // Appends the new item to the submenu of `parent` (none for a menu bar head).
    MenuItem(QByteArray name, QByteArray caption, MenuItem* parent = nullptr, bool enabled = true);

    const QByteArray& Name() const { return name_; }
    MenuItem* Parent() const { return parent_; }
    const QList<MenuItem*>& Items() const { return items_; }
    bool IsSeparator() const { return Caption() == "-"; }

    bool Visible() const { return visible_; }
    void SetVisible(bool visible);

    // The heads a user opens to reach this item, from the menu bar down, then the item.
    QList<MenuItem*> Path();

private:
    QByteArray name_;
    MenuItem* parent_;
    QList<MenuItem*> items_;
    bool visible_ = true;
};
