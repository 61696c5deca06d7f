#include "platform/runtime/MenuItemArray.h"

MenuItemArray::MenuItemArray(const QByteArray& name, const QByteArrayList& captions,
                             MenuItem* parent, bool enabled) {
    for (int index = 0; index < captions.size(); ++index) {
        const QByteArray element = name + '(' + QByteArray::number(index) + ')';
        auto item = std::make_unique<MenuItem>(element, captions.at(index), parent, enabled);
        item->onClick = [this, index] {
            if (onClick)
                onClick(index);
        };
        items_.push_back(std::move(item));
    }
}
