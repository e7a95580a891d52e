// The model of one dialog control: its state lives here, page code changes it,
// and a backend mirrors it on screen (and writes user input back).
//
// All member functions run on the window thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ui/paint.h"
#include "tidewell/ui/resources.h"
#include "tidewell/ui/types.h"

namespace tidewell::ui {

class Control;
class Window;

// What a backend learns when a control's model changes.
enum class ControlChange {
    Text,
    Enabled,
    Visible,
    Check,
    Items,      // list entries added or removed
    Selection,  // list selection
    Range,      // progress range
    Position,   // progress position
    ReadOnly,
    Paint,  // paint handler installed or the control asked to be repainted
};

class ControlObserver {
  public:
    virtual ~ControlObserver() = default;
    virtual void controlChanged(Control& control, ControlChange change) = 0;
};

using PaintHandler = std::function<void(PaintDC&)>;

class Control {
  public:
    Control(Window& owner, const ControlTemplate& tpl);
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    int GetDlgCtrlID() const { return tpl_->id; }
    ControlKind kind() const { return tpl_->kind; }
    const ControlTemplate& getTemplate() const { return *tpl_; }
    UINT GetStyle() const { return tpl_->style; }
    Window& GetOwner() const { return owner_; }

    void SetWindowText(std::string_view text);
    const std::string& GetWindowText() const { return text_; }

    void EnableWindow(bool enable = true);
    bool IsWindowEnabled() const { return enabled_; }
    void ShowWindow(int cmdShow);  // SW_HIDE hides, anything else shows
    bool IsWindowVisible() const { return visible_; }

    // Check boxes.
    void SetCheck(int state);  // BST_UNCHECKED or BST_CHECKED
    int GetCheck() const { return check_; }

    // Drop-down lists. Indices are 0-based; CB_ERR for none.
    int AddString(std::string_view text);
    int GetCount() const { return static_cast<int>(items_.size()); }
    std::string GetLBText(int index) const;  // empty for a bad index
    int GetCurSel() const { return curSel_; }
    int SetCurSel(int index);  // CB_ERR (and no selection) for a bad index
    // Selects the first entry that begins with prefix, ignoring case, searching
    // from the entry after startAfter (-1: from the first) and wrapping round.
    // Returns the index selected, or CB_ERR leaving the selection unchanged.
    int SelectString(int startAfter, std::string_view prefix);
    int FindStringExact(int startAfter, std::string_view text) const;
    void ResetContent();
    const std::vector<std::string>& items() const { return items_; }

    // Progress bars.
    void SetRange(int lower, int upper);
    void GetRange(int& lower, int& upper) const {
        lower = lower_;
        upper = upper_;
    }
    int SetPos(int pos);  // clamped to the range; returns the previous position
    int GetPos() const { return pos_; }

    // Edit fields.
    void SetReadOnly(bool readOnly = true);
    bool IsReadOnly() const { return readOnly_; }

    // Owner drawing: with a handler installed the control is painted by it, on
    // top of whatever the window painted beneath (no background of its own).
    void SetPaintHandler(PaintHandler handler);
    const PaintHandler& paintHandler() const { return paint_; }
    void Invalidate();

    // Backend side: at most one observer (the on-screen peer).
    void setObserver(ControlObserver* observer) { observer_ = observer; }
    ControlObserver* observer() const { return observer_; }

    // Back to the template's state (a new window from the same template).
    void resetFromTemplate();

  private:
    void notify(ControlChange change);

    Window& owner_;
    const ControlTemplate* tpl_;
    std::string text_;
    bool enabled_ = true;
    bool visible_ = true;
    int check_ = BST_UNCHECKED;
    std::vector<std::string> items_;
    int curSel_ = CB_ERR;
    int lower_ = 0;
    int upper_ = 100;
    int pos_ = 0;
    bool readOnly_ = false;
    PaintHandler paint_;
    ControlObserver* observer_ = nullptr;
};

}  // namespace tidewell::ui
