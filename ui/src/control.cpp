#include "tidewell/ui/control.h"

#include <algorithm>
#include <cctype>

namespace tidewell::ui {
namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size()) {
        return false;
    }
    return std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && startsWithNoCase(a, b);
}

}  // namespace

Control::Control(Window& owner, const ControlTemplate& tpl) : owner_(owner), tpl_(&tpl) {
    resetFromTemplate();
}

void Control::notify(ControlChange change) {
    if (observer_ != nullptr) {
        observer_->controlChanged(*this, change);
    }
}

void Control::resetFromTemplate() {
    text_ = tpl_->text;
    enabled_ = (tpl_->style & WS_DISABLED) == 0;
    visible_ = (tpl_->style & WS_VISIBLE) != 0;
    check_ = BST_UNCHECKED;
    items_.clear();
    curSel_ = CB_ERR;
    lower_ = 0;
    upper_ = 100;
    pos_ = 0;
    readOnly_ = tpl_->kind == ControlKind::Edit && (tpl_->style & ES_READONLY) != 0;
}

void Control::SetWindowText(std::string_view text) {
    if (text_ == text) {
        return;
    }
    text_ = std::string(text);
    notify(ControlChange::Text);
}

void Control::EnableWindow(bool enable) {
    if (enabled_ == enable) {
        return;
    }
    enabled_ = enable;
    notify(ControlChange::Enabled);
}

void Control::ShowWindow(int cmdShow) {
    const bool show = cmdShow != SW_HIDE;
    if (visible_ == show) {
        return;
    }
    visible_ = show;
    notify(ControlChange::Visible);
}

void Control::SetCheck(int state) {
    const int normalised = state == BST_UNCHECKED ? BST_UNCHECKED : BST_CHECKED;
    if (check_ == normalised) {
        return;
    }
    check_ = normalised;
    notify(ControlChange::Check);
}

int Control::AddString(std::string_view text) {
    items_.emplace_back(text);
    notify(ControlChange::Items);
    return static_cast<int>(items_.size()) - 1;
}

std::string Control::GetLBText(int index) const {
    if (index < 0 || index >= GetCount()) {
        return {};
    }
    return items_[static_cast<std::size_t>(index)];
}

int Control::SetCurSel(int index) {
    const int next = (index >= 0 && index < GetCount()) ? index : CB_ERR;
    if (next != curSel_) {
        curSel_ = next;
        notify(ControlChange::Selection);
    }
    return next;
}

int Control::SelectString(int startAfter, std::string_view prefix) {
    const int count = GetCount();
    if (count == 0) {
        return CB_ERR;
    }
    const int first = (startAfter < 0 || startAfter >= count) ? 0 : startAfter + 1;
    for (int n = 0; n < count; ++n) {
        const int index = (first + n) % count;
        if (startsWithNoCase(items_[static_cast<std::size_t>(index)], prefix)) {
            return SetCurSel(index);
        }
    }
    return CB_ERR;
}

int Control::FindStringExact(int startAfter, std::string_view text) const {
    const int count = GetCount();
    const int first = (startAfter < 0 || startAfter >= count) ? 0 : startAfter + 1;
    for (int n = 0; n < count; ++n) {
        const int index = (first + n) % count;
        if (equalNoCase(items_[static_cast<std::size_t>(index)], text)) {
            return index;
        }
    }
    return CB_ERR;
}

void Control::ResetContent() {
    if (items_.empty() && curSel_ == CB_ERR) {
        return;
    }
    items_.clear();
    curSel_ = CB_ERR;
    notify(ControlChange::Items);
}

void Control::SetRange(int lower, int upper) {
    lower_ = lower;
    upper_ = upper;
    notify(ControlChange::Range);
    SetPos(pos_);
}

int Control::SetPos(int pos) {
    const int previous = pos_;
    const int low = std::min(lower_, upper_);
    const int high = std::max(lower_, upper_);
    const int next = std::clamp(pos, low, high);
    if (next != pos_) {
        pos_ = next;
        notify(ControlChange::Position);
    }
    return previous;
}

void Control::SetReadOnly(bool readOnly) {
    if (readOnly_ == readOnly) {
        return;
    }
    readOnly_ = readOnly;
    notify(ControlChange::ReadOnly);
}

void Control::SetPaintHandler(PaintHandler handler) {
    paint_ = std::move(handler);
    notify(ControlChange::Paint);
}

void Control::Invalidate() {
    notify(ControlChange::Paint);
}

}  // namespace tidewell::ui
