#include "tidewell/ui/dialog.h"

#include <stdexcept>

#include "tidewell/ui/platform.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui {
namespace {

Platform& platformOf(Window* parent) {
    if (parent == nullptr) {
        throw std::invalid_argument("a dialog needs a parent window or a platform");
    }
    return parent->GetPlatform();
}

}  // namespace

void ControlSet::build(Window& owner, const DialogTemplate& tpl) {
    controls_.clear();
    controls_.reserve(tpl.controls.size());
    for (const auto& control : tpl.controls) {
        controls_.push_back(std::make_unique<Control>(owner, control));
    }
}

void ControlSet::reset() {
    for (auto& control : controls_) {
        control->resetFromTemplate();
    }
}

Control* ControlSet::find(int id) {
    for (auto& control : controls_) {
        if (control->GetDlgCtrlID() == id) {
            return control.get();
        }
    }
    return nullptr;
}

const Control* ControlSet::find(int id) const {
    return const_cast<ControlSet*>(this)->find(id);
}

Dialog::Dialog(int templateId, Window* parent)
    : Window(platformOf(parent), parent), templateId_(templateId) {
    init(templateId);
}

Dialog::Dialog(int templateId, Platform& platform) : Window(platform), templateId_(templateId) {
    init(templateId);
}

Dialog::~Dialog() = default;

void Dialog::init(int templateId) {
    tpl_ = GetPlatform().resources().findDialog(templateId);
    if (tpl_ != nullptr) {
        controls_.build(*this, *tpl_);
    }
}

int Dialog::DoModal() {
    if (tpl_ == nullptr || IsWindow()) {
        return kDialogFailed;
    }
    Platform& platform = GetPlatform();
    controls_.reset();
    ending_ = false;
    result_ = kDialogFailed;
    systemMenu_ = (tpl_->style & WS_SYSMENU) != 0 ? std::make_unique<Menu>() : nullptr;
    createWindowHandle(platform, GetParent());
    Window::SetWindowText(tpl_->caption);
    DoDataExchange();
    platform.createPeer(*this);
    OnInitDialog();
    int result = result_;
    if (!ending_ && IsWindow()) {
        setVisibleFlag(true);
        result = platform.runModal(*this);
        if (ending_) {
            result = result_;
        }
    }
    DestroyWindow();
    return result;
}

void Dialog::EndDialog(int result) {
    if (!IsWindow()) {
        return;
    }
    result_ = result;
    ending_ = true;
    GetPlatform().endModal(*this);
}

Control& Dialog::GetDlgItem(int id) {
    if (Control* control = controls_.find(id)) {
        return *control;
    }
    throw std::out_of_range(stringPrintf("dialog %d has no control %d", templateId_, id));
}

const Control& Dialog::GetDlgItem(int id) const {
    return const_cast<Dialog*>(this)->GetDlgItem(id);
}

Control* Dialog::FindDlgItem(int id) {
    return controls_.find(id);
}

Menu* Dialog::GetSystemMenu() {
    return systemMenu_.get();
}

int Dialog::defaultButtonId() const {
    for (const auto& control : controls_.all()) {
        if (control->kind() == ControlKind::PushButton &&
            (control->GetStyle() & BS_DEFPUSHBUTTON) != 0) {
            return control->GetDlgCtrlID();
        }
    }
    return IDOK;
}

bool Dialog::OnCommand(int id) {
    if (Window::OnCommand(id)) {
        return true;
    }
    if (id == IDOK) {
        OnOK();
        return true;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

void Dialog::OnClose() {
    const Control* cancel = controls_.find(IDCANCEL);
    if (cancel != nullptr && !cancel->IsWindowEnabled()) {
        return;
    }
    OnCommand(IDCANCEL);
}

FileDialogRequest makeFileDialogRequest(bool open, std::string_view defaultExt,
                                        std::string_view fileName, UINT flags,
                                        std::string_view filter) {
    FileDialogRequest request;
    request.open = open;
    request.defaultExt = std::string(defaultExt);
    request.fileName = std::string(fileName);
    request.flags = flags;
    request.filter = std::string(filter);
    request.filters = parseFileFilter(filter);
    const std::size_t slash = fileName.rfind('/');
    if (slash == std::string_view::npos) {
        request.initialName = std::string(fileName);
    } else {
        request.initialFolder = std::string(fileName.substr(0, slash == 0 ? 1 : slash));
        request.initialName = std::string(fileName.substr(slash + 1));
    }
    return request;
}

FileDialog::FileDialog(Platform& platform, bool openFileDialog, std::string_view defaultExt,
                       std::string_view fileName, UINT flags, std::string_view filter,
                       Window* parent)
    : platform_(platform),
      parent_(parent),
      request_(makeFileDialogRequest(openFileDialog, defaultExt, fileName, flags, filter)) {}

int FileDialog::DoModal() {
    auto chosen = platform_.chooseFile(request_, parent_);
    if (!chosen) {
        return IDCANCEL;
    }
    path_ = std::move(*chosen);
    return IDOK;
}

std::string FileDialog::GetFileName() const {
    const std::size_t slash = path_.rfind('/');
    return slash == std::string::npos ? path_ : path_.substr(slash + 1);
}

}  // namespace tidewell::ui
