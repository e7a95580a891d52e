// Menus (a frame's menu bar, a dialog's system menu) and the update-UI record.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ui/resources.h"
#include "tidewell/ui/types.h"

namespace tidewell::ui {

class Menu;

class MenuObserver {
  public:
    virtual ~MenuObserver() = default;
    virtual void menuChanged(Menu& menu) = 0;
};

class Menu {
  public:
    struct Item {
        int id = 0;
        std::string text;
        UINT flags = MF_STRING;  // MF_SEPARATOR, MF_POPUP, MF_CHECKED, MF_GRAYED, MF_CHECKABLE
        std::unique_ptr<Menu> popup;

        bool isSeparator() const { return (flags & MF_SEPARATOR) != 0; }
        bool isChecked() const { return (flags & MF_CHECKED) != 0; }
        bool isEnabled() const { return (flags & MF_GRAYED) == 0; }
    };

    Menu() = default;
    explicit Menu(const std::vector<MenuTemplateItem>& items);
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    // MF_SEPARATOR, or MF_STRING with id and text; MF_CHECKED/MF_GRAYED/MF_CHECKABLE may be added.
    bool AppendMenu(UINT flags, int id = 0, std::string_view text = {});
    Menu& AppendPopup(std::string_view text);

    int GetMenuItemCount() const { return static_cast<int>(items_.size()); }
    int GetMenuItemID(int position) const;  // -1 for a popup, 0 for a separator
    std::string GetMenuString(int id) const;
    // By command id, searched through submenus. Previous state, or kMenuError when absent.
    UINT CheckMenuItem(int id, UINT check);    // MF_CHECKED or MF_UNCHECKED
    UINT EnableMenuItem(int id, UINT enable);  // MF_ENABLED or MF_GRAYED
    UINT GetMenuState(int id) const;           // flags, or kMenuError

    Item* findItem(int id);
    const Item* findItem(int id) const;
    const std::vector<Item>& items() const { return items_; }
    // Every command id in the menu and its submenus, top to bottom.
    std::vector<int> commandIds() const;

    void setObserver(MenuObserver* observer) { observer_ = observer; }

  private:
    void changed();

    std::vector<Item> items_;
    MenuObserver* observer_ = nullptr;
    Menu* parent_ = nullptr;
};

// What an update-UI rule decides for one command before it is shown or run.
// A rule that does not call Enable leaves the default: enabled exactly when the
// command has a handler. A rule that does not call SetCheck leaves the mark as it was.
class CmdUI {
  public:
    explicit CmdUI(int id, bool enabled = true, std::optional<int> check = {})
        : m_nID(id), enabled_(enabled), check_(check) {}

    void Enable(bool enable = true) {
        enabled_ = enable;
        enableChanged_ = true;
    }
    void SetCheck(int check = BST_CHECKED) { check_ = check; }

    bool enabled() const { return enabled_; }
    bool enableChanged() const { return enableChanged_; }
    std::optional<int> check() const { return check_; }

    const int m_nID;

  private:
    bool enabled_;
    bool enableChanged_ = false;
    std::optional<int> check_;
};

}  // namespace tidewell::ui
