#include "tidewell/ui/menu.h"

namespace tidewell::ui {

Menu::Menu(const std::vector<MenuTemplateItem>& items) {
    for (const auto& t : items) {
        Item item;
        item.id = t.id;
        item.text = t.text;
        item.flags = t.flags;
        if ((t.flags & MF_POPUP) != 0) {
            item.popup = std::make_unique<Menu>(t.children);
            item.popup->parent_ = this;
            item.id = -1;
        }
        items_.push_back(std::move(item));
    }
}

void Menu::changed() {
    Menu* root = this;
    while (root->parent_ != nullptr) {
        root = root->parent_;
    }
    if (root->observer_ != nullptr) {
        root->observer_->menuChanged(*root);
    }
}

bool Menu::AppendMenu(UINT flags, int id, std::string_view text) {
    if ((flags & MF_POPUP) != 0) {
        return false;  // AppendPopup builds submenus
    }
    Item item;
    item.flags = flags;
    if ((flags & MF_SEPARATOR) == 0) {
        item.id = id;
        item.text = std::string(text);
    }
    items_.push_back(std::move(item));
    changed();
    return true;
}

Menu& Menu::AppendPopup(std::string_view text) {
    Item item;
    item.id = -1;
    item.text = std::string(text);
    item.flags = MF_POPUP;
    item.popup = std::make_unique<Menu>();
    item.popup->parent_ = this;
    items_.push_back(std::move(item));
    changed();
    return *items_.back().popup;
}

int Menu::GetMenuItemID(int position) const {
    if (position < 0 || position >= GetMenuItemCount()) {
        return -1;
    }
    return items_[static_cast<std::size_t>(position)].id;
}

Menu::Item* Menu::findItem(int id) {
    for (auto& item : items_) {
        if (item.popup) {
            if (Item* found = item.popup->findItem(id)) {
                return found;
            }
        } else if (!item.isSeparator() && item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

const Menu::Item* Menu::findItem(int id) const {
    return const_cast<Menu*>(this)->findItem(id);
}

std::string Menu::GetMenuString(int id) const {
    const Item* item = findItem(id);
    return item != nullptr ? item->text : std::string();
}

UINT Menu::CheckMenuItem(int id, UINT check) {
    Item* item = findItem(id);
    if (item == nullptr) {
        return kMenuError;
    }
    const UINT previous = item->flags & MF_CHECKED;
    const UINT next = (item->flags & ~MF_CHECKED) | (check & MF_CHECKED);
    if (next != item->flags) {
        item->flags = next;
        changed();
    }
    return previous;
}

UINT Menu::EnableMenuItem(int id, UINT enable) {
    Item* item = findItem(id);
    if (item == nullptr) {
        return kMenuError;
    }
    const UINT previous = item->flags & MF_GRAYED;
    const UINT next = (item->flags & ~MF_GRAYED) | (enable & MF_GRAYED);
    if (next != item->flags) {
        item->flags = next;
        changed();
    }
    return previous;
}

UINT Menu::GetMenuState(int id) const {
    const Item* item = findItem(id);
    return item != nullptr ? item->flags : kMenuError;
}

std::vector<int> Menu::commandIds() const {
    std::vector<int> ids;
    for (const auto& item : items_) {
        if (item.popup) {
            const auto sub = item.popup->commandIds();
            ids.insert(ids.end(), sub.begin(), sub.end());
        } else if (!item.isSeparator()) {
            ids.push_back(item.id);
        }
    }
    return ids;
}

}  // namespace tidewell::ui
