#include "tidewell/ui/frame.h"

#include <algorithm>
#include <stdexcept>

#include "tidewell/ui/platform.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui {

// ---- control bars ---------------------------------------------------------

FrameWindow* ControlBar::GetFrame() const {
    return dynamic_cast<FrameWindow*>(GetParent());
}

bool ControlBar::createBar(FrameWindow* parent, UINT style, int id) {
    if (parent == nullptr || !parent->IsWindow() || IsWindow()) {
        return false;
    }
    style_ = style;
    barId_ = id;
    createWindowHandle(parent->GetPlatform(), parent);
    setVisibleFlag((style & WS_VISIBLE) != 0);
    parent->GetPlatform().createPeer(*this);
    return true;
}

bool ToolBar::CreateEx(FrameWindow* parent, UINT /*toolBarStyle*/, UINT style, int id) {
    return createBar(parent, style, id);
}

bool ToolBar::LoadToolBar(int resourceId) {
    if (!IsWindow()) {
        return false;
    }
    const ToolBarTemplate* tpl = GetPlatform().resources().findToolBar(resourceId);
    if (tpl == nullptr) {
        return false;
    }
    buttons_.clear();
    for (const auto& b : tpl->buttons) {
        buttons_.push_back({b.id, b.art, b.tip, true, std::nullopt});
    }
    buttonSize_ = tpl->buttonSize;
    if (peer()) {
        peer()->contentChanged();
    }
    return true;
}

const ToolBar::Button* ToolBar::findButton(int id) const {
    if (id == ID_SEPARATOR) {
        return nullptr;
    }
    const auto it = std::find_if(buttons_.begin(), buttons_.end(),
                                 [id](const Button& b) { return b.id == id; });
    return it == buttons_.end() ? nullptr : &*it;
}

void ToolBar::setButtonState(int id, bool enabled, std::optional<int> check) {
    bool changed = false;
    for (auto& b : buttons_) {
        if (b.id == id && id != ID_SEPARATOR && (b.enabled != enabled || b.check != check)) {
            b.enabled = enabled;
            b.check = check;
            changed = true;
        }
    }
    if (changed && peer()) {
        peer()->contentChanged();
    }
}

std::string_view indicatorText(int id) {
    switch (id) {
        case ID_INDICATOR_CAPS:
            return "CAP";
        case ID_INDICATOR_NUM:
            return "NUM";
        case ID_INDICATOR_SCRL:
            return "SCRL";
        default:
            return {};
    }
}

bool StatusBar::Create(FrameWindow* parent, UINT style, int id) {
    return createBar(parent, style, id);
}

bool StatusBar::SetIndicators(std::span<const int> ids) {
    panes_.clear();
    for (int id : ids) {
        panes_.push_back({id, {}});
    }
    updateIndicators();
    if (peer()) {
        peer()->contentChanged();
    }
    return true;
}

int StatusBar::GetItemID(int index) const {
    if (index < 0 || index >= GetCount()) {
        return -1;
    }
    return panes_[static_cast<std::size_t>(index)].id;
}

int StatusBar::CommandToIndex(int id) const {
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        if (panes_[i].id == id) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool StatusBar::SetPaneText(int index, std::string_view text) {
    if (index < 0 || index >= GetCount()) {
        return false;
    }
    auto& pane = panes_[static_cast<std::size_t>(index)];
    if (pane.text != text) {
        pane.text = std::string(text);
        if (peer()) {
            peer()->contentChanged();
        }
    }
    return true;
}

std::string StatusBar::GetPaneText(int index) const {
    if (index < 0 || index >= GetCount()) {
        return {};
    }
    return panes_[static_cast<std::size_t>(index)].text;
}

void StatusBar::updateIndicators() {
    if (!hasPlatform()) {
        return;
    }
    for (std::size_t i = 0; i < panes_.size(); ++i) {
        const std::string_view text = indicatorText(panes_[i].id);
        if (!text.empty()) {
            SetPaneText(static_cast<int>(i),
                        GetPlatform().isKeyToggled(panes_[i].id) ? text : std::string_view());
        }
    }
}

DialogBar::~DialogBar() = default;

bool DialogBar::Create(FrameWindow* parent, int templateId, UINT style, int id) {
    if (parent == nullptr || IsWindow()) {
        return false;
    }
    tpl_ = parent->GetPlatform().resources().findDialog(templateId);
    if (tpl_ == nullptr) {
        return false;
    }
    controls_.build(*this, *tpl_);
    return createBar(parent, style, id);
}

Control& DialogBar::GetDlgItem(int id) {
    if (Control* control = controls_.find(id)) {
        return *control;
    }
    throw std::out_of_range(
        stringPrintf("dialog bar %d has no control %d", tpl_ != nullptr ? tpl_->id : 0, id));
}

Control* DialogBar::FindDlgItem(int id) {
    return controls_.find(id);
}

bool DialogBar::OnCommand(int id) {
    if (Window::OnCommand(id)) {
        return true;
    }
    FrameWindow* frame = GetFrame();
    return frame != nullptr && frame->ExecuteCommand(id);
}

// ---- log view ---------------------------------------------------------------

LogView::~LogView() = default;

bool LogView::Create(UINT style, FrameWindow* parent, int /*id*/, UINT exStyle) {
    if (parent == nullptr || !parent->IsWindow() || IsWindow()) {
        return false;
    }
    style_ = style;
    exStyle_ = exStyle;
    createWindowHandle(parent->GetPlatform(), parent);
    setVisibleFlag((style & WS_VISIBLE) != 0);
    parent->GetPlatform().createPeer(*this);
    return true;
}

void LogView::AppendText(std::string_view text) {
    content_.append(text);
    lineBreaks_ += static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    if (peer()) {
        peer()->textAppended(text);
    }
}

void LogView::AppendLine(std::string_view line) {
    std::string piece;
    piece.reserve(line.size() + 2);
    piece.append(line);
    piece.append("\r\n");
    AppendText(piece);
}

void LogView::SetWindowText(std::string_view text) {
    content_ = std::string(text);
    lineBreaks_ = static_cast<int>(std::count(content_.begin(), content_.end(), '\n'));
    if (peer()) {
        peer()->textReplaced();
    }
}

void LogView::userReplaced(std::string text) {
    content_ = std::move(text);
    lineBreaks_ = static_cast<int>(std::count(content_.begin(), content_.end(), '\n'));
}

void LogView::SetReadOnly(bool readOnly) {
    style_ = readOnly ? (style_ | ES_READONLY) : (style_ & ~ES_READONLY);
    if (peer()) {
        peer()->contentChanged();
    }
}

// ---- frame ------------------------------------------------------------------

FrameWindow::FrameWindow(Platform& platform) : Window(platform) {
    // The framework's own handlers: bar toggles and application exit.
    for (const int barId : {AFX_IDW_TOOLBAR, AFX_IDW_STATUS_BAR}) {
        mapCommand(barId, [this, barId] {
            if (ControlBar* bar = GetControlBar(barId)) {
                ShowControlBar(*bar, !bar->IsWindowVisible());
            }
        });
        mapUpdateCommandUI(barId, [this, barId](CmdUI& ui) {
            ControlBar* bar = GetControlBar(barId);
            ui.Enable(bar != nullptr);
            ui.SetCheck(bar != nullptr && bar->IsWindowVisible() ? BST_CHECKED : BST_UNCHECKED);
        });
    }
    mapCommand(ID_APP_EXIT, [this] { SendMessage(WM_CLOSE); });
}

FrameWindow::~FrameWindow() = default;

bool FrameWindow::LoadFrame(int resourceId, UINT style, Window* parent) {
    if (IsWindow()) {
        return false;
    }
    Platform& platform = GetPlatform();
    const ResourceSet& resources = platform.resources();
    resourceId_ = resourceId;
    style_ = style;
    createWindowHandle(platform, parent);
    Window::SetWindowText(platform.loadString(resourceId));
    if (const MenuTemplate* menu = resources.findMenu(resourceId)) {
        menu_ = std::make_unique<Menu>(menu->items);
    }
    accelerators_ = resources.findAccelerators(resourceId);
    if (resources.findIcon(resourceId) != nullptr) {
        SetIcon(resourceId, true);
        SetIcon(resourceId, false);
    }
    platform.createPeer(*this);
    if (OnCreate() == -1) {
        DestroyWindow();
        return false;
    }
    if ((style & WS_VISIBLE) != 0) {
        ShowWindow(SW_SHOW);
    }
    return true;
}

const std::vector<ControlBar*>& FrameWindow::controlBars() const {
    bars_.clear();
    for (Window* child : children()) {
        if (auto* bar = dynamic_cast<ControlBar*>(child)) {
            bars_.push_back(bar);
        }
    }
    return bars_;
}

ControlBar* FrameWindow::GetControlBar(int id) const {
    for (ControlBar* bar : controlBars()) {
        if (bar->GetDlgCtrlID() == id && bar->IsWindow()) {
            return bar;
        }
    }
    return nullptr;
}

void FrameWindow::ShowControlBar(ControlBar& bar, bool show) {
    bar.ShowWindow(show ? SW_SHOW : SW_HIDE);
}

LogView* FrameWindow::logView() const {
    for (Window* child : children()) {
        if (auto* log = dynamic_cast<LogView*>(child)) {
            return log;
        }
    }
    return nullptr;
}

CmdUI FrameWindow::QueryCommandUI(int id) {
    std::optional<int> check;
    if (menu_) {
        if (const Menu::Item* item = menu_->findItem(id)) {
            check = item->isChecked() ? BST_CHECKED : BST_UNCHECKED;
        }
    }
    CmdUI ui(id, true, check);
    runUpdateRule(ui);
    if (!ui.enableChanged()) {
        ui.Enable(hasCommandHandler(id));
    }
    if (menu_ && menu_->findItem(id) != nullptr) {
        menu_->EnableMenuItem(id, ui.enabled() ? MF_ENABLED : MF_GRAYED);
        if (ui.check()) {
            menu_->CheckMenuItem(id, *ui.check() != BST_UNCHECKED ? MF_CHECKED : MF_UNCHECKED);
        }
    }
    for (ControlBar* bar : controlBars()) {
        if (auto* toolBar = dynamic_cast<ToolBar*>(bar); toolBar && toolBar->findButton(id)) {
            toolBar->setButtonState(id, ui.enabled(), ui.check());
        }
        if (auto* dialogBar = dynamic_cast<DialogBar*>(bar)) {
            Control* control = dialogBar->FindDlgItem(id);
            if (control != nullptr && control->kind() == ControlKind::PushButton) {
                control->EnableWindow(ui.enabled());
            }
        }
    }
    return ui;
}

void FrameWindow::UpdateCommandUI() {
    std::vector<int> ids;
    if (menu_) {
        ids = menu_->commandIds();
    }
    for (ControlBar* bar : controlBars()) {
        if (const auto* toolBar = dynamic_cast<const ToolBar*>(bar)) {
            for (const auto& button : toolBar->buttons()) {
                if (button.id != ID_SEPARATOR) {
                    ids.push_back(button.id);
                }
            }
        }
        if (auto* dialogBar = dynamic_cast<DialogBar*>(bar)) {
            for (const auto& control : dialogBar->controls()) {
                if (control->kind() == ControlKind::PushButton) {
                    ids.push_back(control->GetDlgCtrlID());
                }
            }
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    for (int id : ids) {
        QueryCommandUI(id);
    }
}

bool FrameWindow::ExecuteCommand(int id) {
    if (!IsWindow() || !QueryCommandUI(id).enabled()) {
        return false;
    }
    return OnCommand(id);
}

bool FrameWindow::TranslateAccelerator(const KeyStroke& key) {
    if (accelerators_ == nullptr) {
        return false;
    }
    for (const auto& entry : accelerators_->entries) {
        const bool control = (entry.fVirt & FCONTROL) != 0;
        const bool shift = (entry.fVirt & FSHIFT) != 0;
        const bool alt = (entry.fVirt & FALT) != 0;
        if (entry.key == key.key && control == key.control && shift == key.shift &&
            alt == key.alt) {
            return ExecuteCommand(entry.cmd);
        }
    }
    return false;
}

}  // namespace tidewell::ui
