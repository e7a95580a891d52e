// Frame windows and what they carry: menu bar, accelerators, control bars
// (tool bar, status bar, dialog bars) and a multi-line log view.
//
// Commands (menu items, accelerators, tool-bar buttons, dialog-bar buttons) go
// through the frame's update-UI rules: a disabled command does not run. A
// command with neither a handler nor a rule shows disabled.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ui/dialog.h"
#include "tidewell/ui/menu.h"
#include "tidewell/ui/resources.h"
#include "tidewell/ui/window.h"

namespace tidewell::ui {

class FrameWindow;

struct KeyStroke {
    UINT key = 0;  // virtual key: 'A'..'Z', '0'..'9', VK_*
    bool control = false;
    bool shift = false;
    bool alt = false;
};

// A bar docked to one edge of its frame; bars do not float.
class ControlBar : public Window {
  public:
    int GetDlgCtrlID() const { return barId_; }
    UINT GetBarStyle() const { return style_; }
    FrameWindow* GetFrame() const;
    bool alignedTop() const { return (style_ & CBRS_ALIGN_TOP) != 0; }

  protected:
    ControlBar() = default;
    bool createBar(FrameWindow* parent, UINT style, int id);

  private:
    UINT style_ = 0;
    int barId_ = 0;
};

class ToolBar : public ControlBar {
  public:
    struct Button {
        int id = ID_SEPARATOR;
        std::string art;
        std::string tip;
        bool enabled = true;
        std::optional<int> check;
    };

    // Creates an empty bar (docked top); LoadToolBar fills it.
    bool CreateEx(FrameWindow* parent, UINT toolBarStyle = TBSTYLE_FLAT,
                  UINT style = WS_CHILD | WS_VISIBLE | CBRS_TOP, int id = AFX_IDW_TOOLBAR);
    bool LoadToolBar(int resourceId);

    const std::vector<Button>& buttons() const { return buttons_; }
    int GetCount() const { return static_cast<int>(buttons_.size()); }
    Size buttonSize() const { return buttonSize_; }
    const Button* findButton(int id) const;
    void setButtonState(int id, bool enabled, std::optional<int> check);

  private:
    std::vector<Button> buttons_;
    Size buttonSize_;
};

class StatusBar : public ControlBar {
  public:
    bool Create(FrameWindow* parent, UINT style = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                int id = AFX_IDW_STATUS_BAR);
    // Pane ids left to right: ID_SEPARATOR for the message pane, ID_INDICATOR_* for indicators.
    bool SetIndicators(std::span<const int> ids);
    int GetCount() const { return static_cast<int>(panes_.size()); }
    int GetItemID(int index) const;
    int CommandToIndex(int id) const;  // -1 when absent
    bool SetPaneText(int index, std::string_view text);
    std::string GetPaneText(int index) const;
    // Refreshes indicator panes from the keyboard's lock keys ("CAP", "NUM", "SCRL" or empty).
    void updateIndicators();

  private:
    struct Pane {
        int id;
        std::string text;
    };
    std::vector<Pane> panes_;
};

// The text an indicator pane shows while its key is toggled on; empty for other ids.
std::string_view indicatorText(int id);

// A bar built from a child dialog template. Its controls' commands go to the
// bar's own handlers first, then to its frame.
class DialogBar : public ControlBar {
  public:
    DialogBar() = default;
    ~DialogBar() override;
    bool Create(FrameWindow* parent, int templateId, UINT style, int id);

    Control& GetDlgItem(int id);
    Control* FindDlgItem(int id) override;
    const std::vector<std::unique_ptr<Control>>& controls() const { return controls_.all(); }
    const DialogTemplate* GetTemplate() const { return tpl_; }

  protected:
    bool OnCommand(int id) override;

  private:
    const DialogTemplate* tpl_ = nullptr;
    ControlSet controls_;
};

// Multi-line text pane of a frame. Appending costs time in proportion to the
// appended text only; the view follows the end after each append.
class LogView : public Window {
  public:
    LogView() = default;
    ~LogView() override;
    // style: WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN,
    // with ES_READONLY for a view the user cannot type into.
    bool Create(UINT style, FrameWindow* parent, int id = AFX_IDW_PANE_FIRST, UINT exStyle = 0);

    void AppendText(std::string_view text);
    void AppendLine(std::string_view line);  // line followed by "\r\n"

    void SetWindowText(std::string_view text) override;  // replaces everything
    const std::string& GetWindowText() const override { return content_; }
    int GetLineCount() const { return lineBreaks_ + 1; }

    UINT GetStyle() const { return style_; }
    UINT GetExStyle() const { return exStyle_; }
    bool IsReadOnly() const { return (style_ & ES_READONLY) != 0; }
    void SetReadOnly(bool readOnly = true);

    // Text typed by the user (backends): appended to or replacing the content.
    void userReplaced(std::string text);

  private:
    std::string content_;
    int lineBreaks_ = 0;
    UINT style_ = 0;
    UINT exStyle_ = 0;
};

class FrameWindow : public Window {
  public:
    explicit FrameWindow(Platform& platform);
    ~FrameWindow() override;

    // Creates the (hidden) frame from the resources numbered resourceId: title
    // string, menu, accelerator table and icon. Runs OnCreate; false when that
    // returns -1 (the window is destroyed again) or the frame exists already.
    bool LoadFrame(int resourceId, UINT style = WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE,
                   Window* parent = nullptr);
    int resourceId() const { return resourceId_; }
    UINT GetStyle() const { return style_; }

    Menu* GetMenu() { return menu_.get(); }
    const AcceleratorTable* accelerators() const { return accelerators_; }

    const std::vector<ControlBar*>& controlBars() const;
    ControlBar* GetControlBar(int id) const;
    void ShowControlBar(ControlBar& bar, bool show);
    LogView* logView() const;

    // The state of a command now: its update rule, or the handler default.
    CmdUI QueryCommandUI(int id);
    // Runs every rule into the menu, the tool bar and the dialog bars' buttons.
    void UpdateCommandUI();
    // Runs an enabled command; false when it is disabled or nothing handled it.
    bool ExecuteCommand(int id);
    // Runs the command of a matching accelerator; false when none matches or it is disabled.
    bool TranslateAccelerator(const KeyStroke& key);

  protected:
    // Window creation: build bars and panes here; -1 fails the creation.
    virtual int OnCreate() { return 0; }

  private:
    int resourceId_ = 0;
    UINT style_ = 0;
    std::unique_ptr<Menu> menu_;
    const AcceleratorTable* accelerators_ = nullptr;
    mutable std::vector<ControlBar*> bars_;
};

}  // namespace tidewell::ui
