#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/choice.h>
#include <wx/dcbuffer.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/fontenum.h>
#include <wx/gauge.h>
#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "native_widget.h"
#include "paint_dc.h"
#include "tidewell/ui/input.h"
#include "tidewell/ui/text.h"
#include "wx_peers.h"

namespace tidewell::ui::wxb {
namespace {

// Margin and spacing, in dialog units, of the buttons that stand in for the
// system menu in the bottom button row.
constexpr int kSystemButtonGap = 5;
constexpr int kSystemButtonMinWidth = 50;
constexpr int kMinimumGap = 20;

wxString fromUtf8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

std::string toUtf8(const wxString& text) {
    const auto buffer = text.utf8_str();
    return std::string(buffer.data(), buffer.length());
}

}  // namespace

DialogUnits DialogUnits::of(const wxFont& font) {
    wxMemoryDC dc;
    dc.SetFont(font);
    // The classic base unit: the average width of the 52 letters, and the character height.
    const wxSize letters = dc.GetTextExtent("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    DialogUnits units;
    units.baseX = std::max(1, (letters.x / 26 + 1) / 2);
    units.baseY = std::max(1, dc.GetCharHeight());
    return units;
}

wxRect DialogUnits::rect(const Rect& du) const {
    const int left = x(du.x);
    const int top = y(du.y);
    return {left, top, x(du.right()) - left, y(du.bottom()) - top};
}

wxFont templateFont(const DialogTemplate& tpl) {
    const wxString face = fromUtf8(tpl.fontFace);
    wxFontInfo info(tpl.fontPoints > 0 ? tpl.fontPoints : 8);
    if (!face.empty() && wxFontEnumerator::IsValidFacename(face)) {
        info.FaceName(face);
    } else {
        info.Family(wxFONTFAMILY_SWISS);
    }
    return wxFont(info);
}

TemplateView::TemplateView(WxPlatform& platform, Window& owner, wxWindow* parent,
                           const DialogTemplate& tpl,
                           const std::vector<std::unique_ptr<Control>>& controls)
    : platform_(platform), owner_(owner), parent_(parent), tpl_(tpl) {
    parent_->SetFont(templateFont(tpl));
    units_ = DialogUnits::of(parent_->GetFont());
    entries_.reserve(controls.size());
    for (const auto& control : controls) {
        entries_.push_back({control.get(), nullptr, units_.rect(control->getTemplate().rect)});
    }
    for (auto& entry : entries_) {
        build(entry);
        entry.control->setObserver(this);
    }
    parent_->Bind(wxEVT_PAINT, [this](wxPaintEvent&) { onPaint(); });
}

TemplateView::~TemplateView() {
    for (auto& entry : entries_) {
        if (entry.control->observer() == this) {
            entry.control->setObserver(nullptr);
        }
    }
}

wxSize TemplateView::pixelSize() const {
    return {units_.x(tpl_.size.cx), units_.y(tpl_.size.cy)};
}

wxString TemplateView::label(const Control& control) const {
    const std::string& text = control.GetWindowText();
    if ((control.GetStyle() & SS_NOPREFIX) != 0 && control.kind() == ControlKind::Label) {
        return wxControl::EscapeMnemonics(fromUtf8(text));
    }
    return fromUtf8(text);
}

void TemplateView::build(Entry& entry) {
    Control& control = *entry.control;
    const int id = control.GetDlgCtrlID();
    const UINT style = control.GetStyle();
    const wxPoint pos = entry.rect.GetPosition();
    const wxSize size = entry.rect.GetSize();
    switch (control.kind()) {
        case ControlKind::Label: {
            long align = wxALIGN_LEFT;
            if ((style & SS_CENTER) != 0) {
                align = wxALIGN_CENTRE_HORIZONTAL;
            } else if ((style & SS_RIGHT) != 0) {
                align = wxALIGN_RIGHT;
            }
            entry.widget =
                new wxStaticText(parent_, wxID_ANY, "", pos, size, wxST_NO_AUTORESIZE | align);
            if (control.paintHandler()) {
                standIn(entry);
            }
            break;
        }
        case ControlKind::EtchedLine:
            entry.widget = new wxStaticLine(parent_, wxID_ANY, pos, wxSize(size.x, -1));
            break;
        case ControlKind::PushButton: {
            auto* button = new wxButton(parent_, wxID_ANY, "", pos, size);
            if ((style & BS_DEFPUSHBUTTON) != 0) {
                button->SetDefault();
            }
            button->Bind(wxEVT_BUTTON, [this, id](wxCommandEvent&) { input::click(owner_, id); });
            entry.widget = button;
            break;
        }
        case ControlKind::CheckBox: {
            auto* box = new wxCheckBox(parent_, wxID_ANY, "", pos, size);
            box->Bind(wxEVT_CHECKBOX, [this, id, &control](wxCommandEvent&) {
                input::click(owner_, id);
                if (Entry* e = find(control)) {
                    sync(*e, ControlChange::Check);
                }
            });
            entry.widget = box;
            break;
        }
        case ControlKind::Edit: {
            long flags = (style & WS_BORDER) != 0 ? wxBORDER_SUNKEN : wxBORDER_NONE;
            if ((style & ES_MULTILINE) != 0) {
                flags |= wxTE_MULTILINE;
            }
            auto* edit = new wxTextCtrl(parent_, wxID_ANY, "", pos, size, flags);
            edit->Bind(wxEVT_TEXT, [this, id, edit, &control](wxCommandEvent&) {
                const std::string typed = toUtf8(edit->GetValue());
                if (typed != control.GetWindowText()) {
                    input::typeText(owner_, id, typed);
                }
            });
            entry.widget = edit;
            break;
        }
        case ControlKind::DropDownList: {
            auto* list = new wxChoice(parent_, wxID_ANY, pos, wxSize(size.x, -1));
            list->Bind(wxEVT_CHOICE, [this, id, list](wxCommandEvent&) {
                input::selectEntry(owner_, id, list->GetSelection());
            });
            entry.widget = list;
            break;
        }
        case ControlKind::Progress:
            entry.widget = new wxGauge(parent_, wxID_ANY, 1, pos, size, wxGA_HORIZONTAL);
            native::fillHeight(entry.widget, size.y);
            break;
        case ControlKind::Bitmap:
        case ControlKind::Icon:
            break;
    }
    if (entry.widget != nullptr) {
        native::describe(entry.widget, control.getTemplate().role);
        if (control.kind() == ControlKind::CheckBox) {
            fitMinimumHeight(entry);
        }
    }
    if (entry.standIn != nullptr) {
        native::describe(entry.standIn, control.getTemplate().role);
    }
    syncAll(entry);
}

// Owner-drawn text is painted on the parent; its label stays, unseen, so that
// assistive technology still reads the text.
void TemplateView::standIn(Entry& entry) {
    native::drawNothing(entry.widget);
    entry.standIn = entry.widget;
    entry.widget = nullptr;
}

// A box smaller than the toolkit can draw the control in grows about its centre.
// Check boxes only: their mark does not shrink (GTK warns on every measure);
// buttons, edit fields and lists draw in the template's rows as they are.
void TemplateView::fitMinimumHeight(Entry& entry) {
    const int least = native::minimumHeight(entry.widget);
    if (least > entry.rect.height) {
        entry.rect.y -= (least - entry.rect.height) / 2;
        entry.rect.height = least;
        entry.widget->SetSize(entry.rect);
    }
}

// The default button, enabled again, takes the focus from another button: Windows presses
// a focused button on Enter, and a page that waited with its buttons off (a transfer)
// must not leave Enter on Exit once Next is there.
void TemplateView::takeFocusFromOtherButton(const Control& control, wxWindow& widget) {
    if (!control.IsWindowEnabled() || (control.GetStyle() & BS_DEFPUSHBUTTON) == 0) {
        return;
    }
    wxWindow* focus = wxWindow::FindFocus();
    if (focus != nullptr && focus != &widget && dynamic_cast<wxButton*>(focus) != nullptr &&
        wxGetTopLevelParent(focus) == wxGetTopLevelParent(&widget)) {
        widget.SetFocus();
    }
}

TemplateView::Entry* TemplateView::find(Control& control) {
    for (auto& entry : entries_) {
        if (entry.control == &control) {
            return &entry;
        }
    }
    return nullptr;
}

wxWindow* TemplateView::widget(int id) const {
    for (const auto& entry : entries_) {
        if (entry.control->GetDlgCtrlID() == id) {
            return entry.widget;
        }
    }
    return nullptr;
}

void TemplateView::controlChanged(Control& control, ControlChange change) {
    Entry* entry = find(control);
    if (entry == nullptr) {
        return;
    }
    if (change == ControlChange::Paint && control.paintHandler() && entry->widget != nullptr) {
        standIn(*entry);
    }
    sync(*entry, change);
}

void TemplateView::syncAll(Entry& entry) {
    for (const ControlChange change :
         {ControlChange::Items, ControlChange::Text, ControlChange::Selection, ControlChange::Check,
          ControlChange::Range, ControlChange::Position, ControlChange::ReadOnly,
          ControlChange::Enabled, ControlChange::Visible}) {
        sync(entry, change);
    }
}

void TemplateView::sync(Entry& entry, ControlChange change) {
    Control& control = *entry.control;
    wxWindow* widget = entry.widget;
    if (widget == nullptr) {
        if (auto* text = dynamic_cast<wxStaticText*>(entry.standIn)) {
            if (change == ControlChange::Text) {
                text->SetLabel(label(control));
            } else if (change == ControlChange::Visible) {
                text->Show(control.IsWindowVisible());
            }
        }
        parent_->RefreshRect(entry.rect);
        return;
    }
    switch (change) {
        case ControlChange::Enabled:
            widget->Enable(control.IsWindowEnabled());
            takeFocusFromOtherButton(control, *widget);
            break;
        case ControlChange::Visible:
            widget->Show(control.IsWindowVisible());
            break;
        case ControlChange::Text:
            if (auto* text = dynamic_cast<wxStaticText*>(widget)) {
                text->SetLabel(label(control));
                text->Wrap(entry.rect.width);
            } else if (auto* edit = dynamic_cast<wxTextCtrl*>(widget)) {
                if (toUtf8(edit->GetValue()) != control.GetWindowText()) {
                    edit->ChangeValue(fromUtf8(control.GetWindowText()));
                    edit->SetInsertionPointEnd();
                }
            } else if (dynamic_cast<wxButton*>(widget) != nullptr ||
                       dynamic_cast<wxCheckBox*>(widget) != nullptr) {
                widget->SetLabel(fromUtf8(control.GetWindowText()));
            }
            break;
        case ControlChange::Check:
            if (auto* box = dynamic_cast<wxCheckBox*>(widget)) {
                box->SetValue(control.GetCheck() == BST_CHECKED);
            }
            break;
        case ControlChange::Items:
            if (auto* list = dynamic_cast<wxChoice*>(widget)) {
                list->Clear();
                for (const auto& item : control.items()) {
                    list->Append(fromUtf8(item));
                }
                list->SetSelection(control.GetCurSel());
            }
            break;
        case ControlChange::Selection:
            if (auto* list = dynamic_cast<wxChoice*>(widget)) {
                list->SetSelection(control.GetCurSel());
            }
            break;
        case ControlChange::Range:
        case ControlChange::Position:
            if (auto* gauge = dynamic_cast<wxGauge*>(widget)) {
                int lower = 0;
                int upper = 0;
                control.GetRange(lower, upper);
                const int range = std::max(1, upper - lower);
                gauge->SetRange(range);
                gauge->SetValue(std::clamp(control.GetPos() - lower, 0, range));
            }
            break;
        case ControlChange::ReadOnly:
            if (auto* edit = dynamic_cast<wxTextCtrl*>(widget)) {
                edit->SetEditable(!control.IsReadOnly());
            }
            break;
        case ControlChange::Paint:
            break;
    }
}

void TemplateView::onPaint() {
    wxPaintDC dc(parent_);
    ++paints_;
    for (auto& entry : entries_) {
        Control& control = *entry.control;
        if (!control.IsWindowVisible() || entry.widget != nullptr) {
            continue;
        }
        const wxRect& r = entry.rect;
        switch (control.kind()) {
            case ControlKind::Bitmap: {
                const wxBitmap bitmap =
                    platform_.images().bitmap(control.getTemplate().imageId, r.GetSize());
                if (bitmap.IsOk()) {
                    dc.DrawBitmap(bitmap, r.GetPosition(), true);
                }
                break;
            }
            case ControlKind::Icon: {
                const wxBitmap icon =
                    platform_.images().icon(control.getTemplate().imageId, r.GetSize());
                if (icon.IsOk()) {
                    dc.DrawBitmap(icon, r.GetPosition(), true);
                }
                break;
            }
            default:
                if (control.paintHandler()) {
                    WxPaintDC paint(dc, r.GetPosition(), r.GetSize());
                    control.paintHandler()(paint);
                }
                break;
        }
    }
}

std::vector<wxRect> TemplateView::buttonRowGaps() const {
    int rowTop = -1;
    for (const auto& entry : entries_) {
        if (entry.control->kind() == ControlKind::PushButton) {
            rowTop = std::max(rowTop, entry.control->getTemplate().rect.y);
        }
    }
    if (rowTop < 0) {
        return {};
    }
    std::vector<Rect> row;
    int height = 0;
    for (const auto& entry : entries_) {
        const Rect& r = entry.control->getTemplate().rect;
        if (entry.control->kind() == ControlKind::PushButton && r.y == rowTop) {
            row.push_back(r);
            height = std::max(height, r.cy);
        }
    }
    std::sort(row.begin(), row.end(), [](const Rect& a, const Rect& b) { return a.x < b.x; });
    std::vector<wxRect> gaps;
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
        const int start = row[i].right() + kSystemButtonGap;
        const int end = row[i + 1].x - kSystemButtonGap;
        if (end - start >= kMinimumGap) {
            gaps.push_back(units_.rect({start, rowTop, end - start, height}));
        }
    }
    std::sort(gaps.begin(), gaps.end(),
              [](const wxRect& a, const wxRect& b) { return a.width > b.width; });
    return gaps;
}

// ---- dialogs ----------------------------------------------------------------

DialogPeer::DialogPeer(WxPlatform& platform, Dialog& dialog) : platform_(platform), model_(dialog) {
    const DialogTemplate& tpl = *dialog.GetTemplate();
    const bool ownTaskBarEntry = (tpl.exStyle & WS_EX_APPWINDOW) != 0;
    wxWindow* parent = ownTaskBarEntry ? nullptr : WxPlatform::nativeOf(dialog.GetParent());
    long style = wxCAPTION;
    if ((tpl.style & WS_SYSMENU) != 0) {
        style |= wxSYSTEM_MENU | wxCLOSE_BOX;
    }
    if (parent == nullptr) {
        style |= wxDIALOG_NO_PARENT;
    }
    window_ = new wxDialog(parent, wxID_ANY, fromUtf8(dialog.GetWindowText()), wxDefaultPosition,
                           wxDefaultSize, style);
    window_->SetEscapeId(wxID_NONE);
    view_ = std::make_unique<TemplateView>(platform, dialog, window_, tpl, dialog.controls());
    window_->SetClientSize(view_->pixelSize());
    window_->CentreOnScreen();

    window_->Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        if (event.CanVeto()) {
            event.Veto();
        }
        input::closeBox(model_);
    });
    window_->Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        const int key = event.GetKeyCode();
        if (key == WXK_ESCAPE && !event.HasAnyModifiers()) {
            input::pressEscape(model_);
            return;
        }
        // Enter is the default button's, whatever has the focus: GTK's combo box
        // would open its list and a check box would toggle. An open list has the
        // keyboard to itself and never gets here; Space still presses a focused button.
        if ((key == WXK_RETURN || key == WXK_NUMPAD_ENTER) && !event.HasAnyModifiers()) {
            const auto* edit = dynamic_cast<wxTextCtrl*>(wxWindow::FindFocus());
            if (edit == nullptr || !edit->IsMultiLine()) {
                input::pressEnter(model_);
                return;
            }
        }
        event.Skip();
    });
    window_->Bind(wxEVT_CONTEXT_MENU, [this](wxContextMenuEvent&) { showSystemMenu(); });
    if (Menu* menu = dialog.GetSystemMenu()) {
        menu->setObserver(this);
        menuChanged(*menu);
    }
    iconChanged();
}

DialogPeer::~DialogPeer() {
    if (Menu* menu = model_.GetSystemMenu()) {
        menu->setObserver(nullptr);
    }
    view_.reset();
    window_->Destroy();
}

void DialogPeer::captionChanged() {
    window_->SetTitle(fromUtf8(model_.GetWindowText()));
}

void DialogPeer::iconChanged() {
    const int id = model_.GetIcon(true) != 0 ? model_.GetIcon(true) : model_.GetIcon(false);
    if (id != 0) {
        window_->SetIcons(platform_.images().iconBundle(id));
    }
}

// The dialog's own system-menu items become buttons in the widest free gap of
// the bottom button row: GTK dialogs have no system menu to put them in.
void DialogPeer::menuChanged(Menu& menu) {
    for (wxWindow* button : systemButtons_) {
        button->Destroy();
    }
    systemButtons_.clear();
    const auto gaps = view_->buttonRowGaps();
    if (gaps.empty()) {
        return;
    }
    const wxRect gap = gaps.front();
    const DialogUnits& units = view_->units();
    int x = gap.x;
    for (const auto& item : menu.items()) {
        if (item.isSeparator() || item.popup) {
            continue;
        }
        auto* button = new wxButton(window_, wxID_ANY, fromUtf8(item.text));
        const int width = std::max(units.x(kSystemButtonMinWidth), button->GetBestSize().x);
        if (x + width > gap.GetRight() + 1) {
            button->Destroy();
            break;
        }
        native::describe(button, AccessibleRole::Default);
        button->SetSize(x, gap.y, width, gap.height);
        button->Enable(item.isEnabled());
        const int id = item.id;
        button->Bind(wxEVT_BUTTON, [this, id](wxCommandEvent&) {
            input::systemCommand(model_, static_cast<UINT>(id));
        });
        systemButtons_.push_back(button);
        x += width + units.x(kSystemButtonGap);
    }
}

void DialogPeer::showSystemMenu() {
    Menu* menu = model_.GetSystemMenu();
    if (menu == nullptr || menu->items().empty()) {
        return;
    }
    wxMenu popup;
    for (const auto& item : menu->items()) {
        if (item.isSeparator()) {
            popup.AppendSeparator();
        } else if (!item.popup) {
            popup.Append(item.id, fromUtf8(item.text))->Enable(item.isEnabled());
        }
    }
    const int chosen = window_->GetPopupMenuSelectionFromUser(popup);
    if (chosen != wxID_NONE) {
        input::systemCommand(model_, static_cast<UINT>(chosen));
    }
}

}  // namespace tidewell::ui::wxb
