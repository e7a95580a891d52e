#include <wx/artprov.h>
#include <wx/menu.h>
#include <wx/sizer.h>
#include <wx/statusbr.h>
#include <wx/toolbar.h>

#include <algorithm>

#include "tidewell/ui/input.h"
#include "wx_peers.h"

namespace tidewell::ui::wxb {
namespace {

constexpr int kIndicatorWidth = 60;
// First wx id handed to commands: above wx's stock ids, below its 0x7FFF limit.
constexpr int kFirstWxCommandId = 10000;
constexpr std::chrono::milliseconds kIndicatorPoll{300};
constexpr int kLogFontPoints = 9;
const wxSize kInitialFrameSize(720, 480);

wxString fromUtf8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

std::string toUtf8(const wxString& text) {
    const auto buffer = text.utf8_str();
    return std::string(buffer.data(), buffer.length());
}

int wxKeyOf(UINT key) {
    switch (key) {
        case VK_BACK:
            return WXK_BACK;
        case VK_RETURN:
            return WXK_RETURN;
        case VK_ESCAPE:
            return WXK_ESCAPE;
        case VK_INSERT:
            return WXK_INSERT;
        case VK_DELETE:
            return WXK_DELETE;
        default:
            if (key >= VK_F1 && key <= VK_F12) {
                return WXK_F1 + static_cast<int>(key - VK_F1);
            }
            return static_cast<int>(key);
    }
}

// A tool bar button's picture: the theme's icon by its standard name where the
// theme has one (Adwaita has only the symbolic ones), else wx's own.
wxBitmap toolBitmap(const std::string& art, wxSize size) {
    struct Art {
        const char* name;
        const char* themeName;
        wxArtID fallback;
    };
    static const Art kArt[] = {
        {"new", "document-new", wxART_NEW},         {"open", "document-open", wxART_FILE_OPEN},
        {"save", "document-save", wxART_FILE_SAVE}, {"cut", "edit-cut", wxART_CUT},
        {"copy", "edit-copy", wxART_COPY},          {"paste", "edit-paste", wxART_PASTE},
        {"print", "document-print", wxART_PRINT},   {"help", "help-about", wxART_HELP},
    };
    for (const Art& a : kArt) {
        if (art != a.name) {
            continue;
        }
        for (const wxString& name : {wxString(a.themeName), wxString(a.themeName) + "-symbolic"}) {
            wxBitmap bitmap = wxArtProvider::GetBitmap(name, wxART_TOOLBAR, size);
            if (bitmap.IsOk()) {
                return bitmap;
            }
        }
        return wxArtProvider::GetBitmap(a.fallback, wxART_TOOLBAR, size);
    }
    return wxArtProvider::GetBitmap(wxART_MISSING_IMAGE, wxART_TOOLBAR, size);
}

// Log text uses "\r\n" line ends; the text view shows "\n".
wxString displayText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return fromUtf8(out);
}

class ToolBarPeer : public NativePeer {
  public:
    ToolBarPeer(FramePeer& frame, ToolBar& model) : frame_(frame), model_(model) {
        bar_ = frame.frame()->CreateToolBar(wxTB_HORIZONTAL | wxTB_FLAT);
        visibilityChanged();
    }
    ~ToolBarPeer() override {
        frame_.frame()->SetToolBar(nullptr);
        bar_->Destroy();
    }
    wxWindow* native() const override { return bar_; }

    void contentChanged() override {
        if (bar_->GetToolsCount() == 0) {
            const wxSize size(std::max(16, model_.buttonSize().cx),
                              std::max(16, model_.buttonSize().cy));
            for (const auto& b : model_.buttons()) {
                if (b.id == ID_SEPARATOR) {
                    bar_->AddSeparator();
                } else {
                    bar_->AddTool(frame_.wxIdFor(b.id), fromUtf8(b.tip), toolBitmap(b.art, size),
                                  fromUtf8(b.tip));
                }
            }
            bar_->Realize();
        }
        for (const auto& b : model_.buttons()) {
            if (b.id != ID_SEPARATOR) {
                bar_->EnableTool(frame_.wxIdFor(b.id), b.enabled);
            }
        }
    }
    void visibilityChanged() override {
        bar_->Show(model_.IsWindowVisible());
        frame_.relayout();
    }

  private:
    FramePeer& frame_;
    ToolBar& model_;
    wxToolBar* bar_;
};

class StatusBarPeer : public NativePeer {
  public:
    StatusBarPeer(FramePeer& frame, StatusBar& model) : frame_(frame), model_(model) {
        bar_ = frame.frame()->CreateStatusBar(1);
        visibilityChanged();
    }
    ~StatusBarPeer() override {
        frame_.frame()->SetStatusBar(nullptr);
        bar_->Destroy();
    }
    wxWindow* native() const override { return bar_; }

    void contentChanged() override {
        const int count = std::max(1, model_.GetCount());
        if (bar_->GetFieldsCount() != count) {
            std::vector<int> widths(static_cast<std::size_t>(count), kIndicatorWidth);
            widths[0] = -1;
            bar_->SetFieldsCount(count, widths.data());
            // Sunken panes: the theme draws none, so the indicators would not show as panes.
            const std::vector<int> styles(static_cast<std::size_t>(count), wxSB_SUNKEN);
            bar_->SetStatusStyles(count, styles.data());
        }
        for (int i = 0; i < model_.GetCount(); ++i) {
            bar_->SetStatusText(fromUtf8(model_.GetPaneText(i)), i);
        }
    }
    void visibilityChanged() override {
        bar_->Show(model_.IsWindowVisible());
        frame_.relayout();
    }

  private:
    FramePeer& frame_;
    StatusBar& model_;
    wxStatusBar* bar_;
};

class DialogBarPeer : public NativePeer {
  public:
    DialogBarPeer(WxPlatform& platform, FramePeer& frame, DialogBar& model)
        : frame_(frame), model_(model) {
        panel_ = new wxPanel(frame.frame(), wxID_ANY);
        view_ = std::make_unique<TemplateView>(platform, model, panel_, *model.GetTemplate(),
                                               model.controls());
        panel_->SetMinSize(view_->pixelSize());
        frame.attach(panel_, model.alignedTop() ? FramePeer::Place::Top : FramePeer::Place::Bottom);
        visibilityChanged();
    }
    ~DialogBarPeer() override {
        view_.reset();
        frame_.detach(panel_);
        panel_->Destroy();
    }
    wxWindow* native() const override { return panel_; }
    wxWindow* nativeControl(int id) const override { return view_->widget(id); }
    int paintCount() const override { return view_->paintCount(); }
    void visibilityChanged() override {
        panel_->Show(model_.IsWindowVisible());
        frame_.relayout();
    }

  private:
    FramePeer& frame_;
    DialogBar& model_;
    wxPanel* panel_;
    std::unique_ptr<TemplateView> view_;
};

class LogViewPeer : public NativePeer {
  public:
    LogViewPeer(FramePeer& frame, LogView& model) : frame_(frame), model_(model) {
        long style = wxTE_MULTILINE | wxTE_RICH2;
        if (model.IsReadOnly()) {
            style |= wxTE_READONLY;
        }
        style |= (model.GetExStyle() & WS_EX_CLIENTEDGE) != 0 ? wxBORDER_SUNKEN : wxBORDER_NONE;
        text_ = new wxTextCtrl(frame.frame(), wxID_ANY, displayText(model.GetWindowText()),
                               wxDefaultPosition, wxDefaultSize, style);
        text_->SetFont(wxFont(wxFontInfo(kLogFontPoints).Family(wxFONTFAMILY_TELETYPE)));
        text_->Bind(wxEVT_TEXT, [this](wxCommandEvent&) {
            if (!updating_) {
                std::string typed = toUtf8(text_->GetValue());
                std::string withCr;
                withCr.reserve(typed.size());
                for (char c : typed) {
                    if (c == '\n') {
                        withCr += '\r';
                    }
                    withCr += c;
                }
                model_.userReplaced(std::move(withCr));
            }
        });
        frame.attach(text_, FramePeer::Place::Fill);
        visibilityChanged();
    }
    ~LogViewPeer() override {
        frame_.detach(text_);
        text_->Destroy();
    }
    wxWindow* native() const override { return text_; }

    void textAppended(std::string_view piece) override {
        updating_ = true;
        text_->AppendText(displayText(piece));
        text_->ShowPosition(text_->GetLastPosition());
        updating_ = false;
    }
    void textReplaced() override {
        updating_ = true;
        text_->ChangeValue(displayText(model_.GetWindowText()));
        text_->ShowPosition(text_->GetLastPosition());
        updating_ = false;
    }
    void contentChanged() override { text_->SetEditable(!model_.IsReadOnly()); }
    void visibilityChanged() override {
        text_->Show(model_.IsWindowVisible());
        frame_.relayout();
    }

  private:
    FramePeer& frame_;
    LogView& model_;
    wxTextCtrl* text_;
    bool updating_ = false;
};

}  // namespace

// ---- frame ------------------------------------------------------------------

FramePeer::FramePeer(WxPlatform& platform, FrameWindow& frame)
    : platform_(platform), model_(frame), nextWxId_(kFirstWxCommandId) {
    window_ = new wxFrame(WxPlatform::nativeOf(frame.GetParent()), wxID_ANY,
                          fromUtf8(frame.GetWindowText()), wxDefaultPosition, kInitialFrameSize);
    window_->SetSizer(new wxBoxSizer(wxVERTICAL));
    buildMenu();
    buildAccelerators();
    iconChanged();

    window_->Bind(wxEVT_MENU, [this](wxCommandEvent& event) {
        const auto command = commandFor(event.GetId());
        if (!command || !model_.ExecuteCommand(*command)) {
            event.Skip();
        }
    });
    window_->Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& event) {
        const auto command = commandFor(event.GetId());
        if (!command) {
            event.Skip();
            return;
        }
        const CmdUI ui = model_.QueryCommandUI(*command);
        event.Enable(ui.enabled());
        const auto it = items_.find(*command);
        if (it != items_.end() && it->second->IsCheckable() && ui.check()) {
            event.Check(*ui.check() != BST_UNCHECKED);
        }
    });
    window_->Bind(wxEVT_IDLE, [this](wxIdleEvent& event) {
        // Dialog-bar buttons follow the frame's rules, as menus do when they open.
        if (model_.IsWindow() && model_.IsWindowVisible()) {
            model_.UpdateCommandUI();
        }
        event.Skip();
    });
    window_->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        if (event.CanVeto()) {
            event.Veto();
            input::closeBox(model_);
        } else {
            model_.DestroyWindow();
        }
    });
    indicatorTimer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
        if (auto* bar = dynamic_cast<StatusBar*>(model_.GetControlBar(AFX_IDW_STATUS_BAR))) {
            bar->updateIndicators();
        }
    });
    indicatorTimer_.Start(static_cast<int>(kIndicatorPoll.count()));
    if (Menu* menu = frame.GetMenu()) {
        menu->setObserver(this);
    }
}

FramePeer::~FramePeer() {
    indicatorTimer_.Stop();
    if (Menu* menu = model_.GetMenu()) {
        menu->setObserver(nullptr);
    }
    window_->Destroy();
}

void FramePeer::buildMenu() {
    Menu* menu = model_.GetMenu();
    if (menu == nullptr) {
        return;
    }
    std::function<wxMenu*(const Menu&)> build = [&](const Menu& source) {
        auto* target = new wxMenu;
        for (const auto& item : source.items()) {
            if (item.isSeparator()) {
                target->AppendSeparator();
            } else if (item.popup) {
                target->AppendSubMenu(build(*item.popup), fromUtf8(item.text));
            } else {
                const int wxId = wxIdFor(item.id);
                wxMenuItem* added = (item.flags & MF_CHECKABLE) != 0
                                        ? target->AppendCheckItem(wxId, fromUtf8(item.text))
                                        : target->Append(wxId, fromUtf8(item.text));
                items_[item.id] = added;
            }
        }
        return target;
    };
    auto* bar = new wxMenuBar;
    for (const auto& top : menu->items()) {
        if (top.popup) {
            bar->Append(build(*top.popup), fromUtf8(top.text));
        }
    }
    window_->SetMenuBar(bar);
    menuChanged(*menu);
}

void FramePeer::buildAccelerators() {
    const AcceleratorTable* table = model_.accelerators();
    if (table == nullptr) {
        return;
    }
    std::vector<wxAcceleratorEntry> entries;
    for (const auto& a : table->entries) {
        int flags = wxACCEL_NORMAL;
        flags |= (a.fVirt & FCONTROL) != 0 ? wxACCEL_CTRL : 0;
        flags |= (a.fVirt & FSHIFT) != 0 ? wxACCEL_SHIFT : 0;
        flags |= (a.fVirt & FALT) != 0 ? wxACCEL_ALT : 0;
        entries.emplace_back(flags, wxKeyOf(a.key), wxIdFor(a.cmd));
    }
    window_->SetAcceleratorTable(
        wxAcceleratorTable(static_cast<int>(entries.size()), entries.data()));
}

int FramePeer::wxIdFor(int command) {
    const auto it = wxIds_.find(command);
    if (it != wxIds_.end()) {
        return it->second;
    }
    const int wxId = nextWxId_++;
    wxIds_[command] = wxId;
    commands_[wxId] = command;
    return wxId;
}

std::optional<int> FramePeer::commandFor(int wxId) const {
    const auto it = commands_.find(wxId);
    return it == commands_.end() ? std::nullopt : std::optional<int>(it->second);
}

void FramePeer::menuChanged(Menu& menu) {
    for (auto& [id, item] : items_) {
        const UINT state = menu.GetMenuState(id);
        if (state == kMenuError) {
            continue;
        }
        item->Enable((state & MF_GRAYED) == 0);
        if (item->IsCheckable()) {
            item->Check((state & MF_CHECKED) != 0);
        }
    }
}

void FramePeer::captionChanged() {
    window_->SetTitle(fromUtf8(model_.GetWindowText()));
}

void FramePeer::visibilityChanged() {
    window_->Show(model_.IsWindowVisible());
    relayout();
}

void FramePeer::iconChanged() {
    const int id = model_.GetIcon(true) != 0 ? model_.GetIcon(true) : model_.GetIcon(false);
    if (id != 0) {
        window_->SetIcons(platform_.images().iconBundle(id));
    }
}

void FramePeer::updateNow() {
    window_->Refresh();
    window_->Update();
}

void FramePeer::attach(wxWindow* child, Place place) {
    children_.emplace_back(child, place);
    rebuildSizer();
}

void FramePeer::detach(wxWindow* child) {
    std::erase_if(children_, [child](const auto& entry) { return entry.first == child; });
    rebuildSizer();
}

// Bars aligned at the top, then the log filling the rest, then bars at the bottom.
void FramePeer::rebuildSizer() {
    wxSizer* sizer = window_->GetSizer();
    sizer->Clear(false);
    for (const Place place : {Place::Top, Place::Fill, Place::Bottom}) {
        for (const auto& [child, where] : children_) {
            if (where == place) {
                sizer->Add(child, place == Place::Fill ? 1 : 0, wxEXPAND);
            }
        }
    }
    relayout();
}

void FramePeer::relayout() {
    window_->Layout();
    window_->SendSizeEvent();
}

// ---- peers of frame children --------------------------------------------------

std::unique_ptr<WindowPeer> makeFrameChildPeer(WxPlatform& platform, Window& window) {
    auto* framePeer = dynamic_cast<FramePeer*>(
        window.GetParent() != nullptr ? window.GetParent()->peer() : nullptr);
    if (framePeer == nullptr) {
        return nullptr;
    }
    if (auto* toolBar = dynamic_cast<ToolBar*>(&window)) {
        return std::make_unique<ToolBarPeer>(*framePeer, *toolBar);
    }
    if (auto* statusBar = dynamic_cast<StatusBar*>(&window)) {
        return std::make_unique<StatusBarPeer>(*framePeer, *statusBar);
    }
    if (auto* dialogBar = dynamic_cast<DialogBar*>(&window)) {
        return std::make_unique<DialogBarPeer>(platform, *framePeer, *dialogBar);
    }
    if (auto* log = dynamic_cast<LogView*>(&window)) {
        return std::make_unique<LogViewPeer>(*framePeer, *log);
    }
    return nullptr;
}

}  // namespace tidewell::ui::wxb
