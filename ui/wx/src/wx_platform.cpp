#include "tidewell/ui/wx/wx_platform.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/filedlg.h>
#include <wx/iconbndl.h>
#include <wx/msgdlg.h>
#include <wx/mstream.h>
#include <wx/utils.h>

#include <csignal>
#include <deque>
#include <filesystem>
#include <set>

#include "tidewell/ui/text.h"
#include "tidewell/ui/wx/testing.h"
#include "wx_peers.h"

namespace tidewell::ui {
namespace wxb {
namespace {

wxString fromUtf8(std::string_view text) {
    return wxString::FromUTF8(text.data(), text.size());
}

std::string toUtf8(const wxString& text) {
    const auto buffer = text.utf8_str();
    return std::string(buffer.data(), buffer.length());
}

// Starts wx for a program that has no wxApp of its own: OnInit runs the
// application's InitInstance, OnRun its message loop, OnExit its ExitInstance,
// so every window goes while the toolkit still runs.
class TidewellApp : public wxApp {
  public:
    TidewellApp(WxPlatform& platform, const std::function<bool()>& initInstance,
                const std::function<int(int)>& exitInstance, int& exitCode)
        : platform_(platform),
          initInstance_(initInstance),
          exitInstance_(exitInstance),
          exitCode_(exitCode) {}

    bool OnInit() override {
        // No wxApp::OnInit: the program takes no command-line options.
#ifdef __UNIX__
        // Handled on the window thread, from the event loop, whichever loop runs.
        for (const int signal : {SIGTERM, SIGHUP}) {
            SetSignalHandler(signal, &TidewellApp::onTerminationSignal);
        }
#endif
        Bind(wxEVT_END_SESSION, [this](wxCloseEvent&) { platform_.requestTermination(); });
        if (!initInstance_()) {
            exitCode_ = exitInstance_(1);
            return false;
        }
        return true;
    }
    int OnRun() override {
        exitCode_ = exitInstance_(platform_.runMessageLoop());
        return exitCode_;
    }

  private:
    static void onTerminationSignal(int /*signal*/) {
        if (auto* app = dynamic_cast<TidewellApp*>(wxTheApp)) {
            app->platform_.requestTermination();
        }
    }

    WxPlatform& platform_;
    const std::function<bool()>& initInstance_;
    const std::function<int(int)>& exitInstance_;
    int& exitCode_;  // outlives the app object, which wx deletes at clean-up
};

}  // namespace

// ---- images -------------------------------------------------------------------

wxImage ImageCache::decode(const ImageData& data) {
    if (wxImage::FindHandler(wxBITMAP_TYPE_PNG) == nullptr) {
        wxImage::AddHandler(new wxPNGHandler);
    }
    wxMemoryInputStream stream(data.png.data(), data.png.size());
    return wxImage(stream, wxBITMAP_TYPE_PNG);
}

wxBitmap ImageCache::bitmap(int id, wxSize size) {
    const auto key = std::make_pair(id, std::make_pair(size.x, size.y));
    if (const auto it = scaled_.find(key); it != scaled_.end()) {
        return it->second;
    }
    const ImageResource* resource = resources_.findBitmap(id);
    if (resource == nullptr || resource->images.empty() || size.x <= 0 || size.y <= 0) {
        return {};
    }
    wxImage image = decode(resource->images.front());
    if (!image.IsOk()) {
        return {};
    }
    image.Rescale(size.x, size.y, wxIMAGE_QUALITY_HIGH);
    return scaled_[key] = wxBitmap(image);
}

wxBitmap ImageCache::icon(int id, wxSize size) {
    const ImageResource* resource = resources_.findIcon(id);
    if (resource == nullptr || resource->images.empty()) {
        return {};
    }
    // The largest image that fits, else the smallest there is.
    const ImageData* best = &resource->images.front();
    for (const auto& image : resource->images) {
        if (image.size.cx <= size.x && image.size.cy <= size.y && image.size.cx > best->size.cx) {
            best = &image;
        }
    }
    return wxBitmap(decode(*best));
}

wxIconBundle ImageCache::iconBundle(int id) {
    wxIconBundle bundle;
    if (const ImageResource* resource = resources_.findIcon(id)) {
        for (const auto& image : resource->images) {
            wxIcon icon;
            icon.CopyFromBitmap(wxBitmap(decode(image)));
            bundle.AddIcon(icon);
        }
    }
    return bundle;
}

// ---- platform -----------------------------------------------------------------

WxPlatform::WxPlatform(const ResourceSet& resources)
    : Platform(resources), images_(resources), pump_(std::make_unique<wxEvtHandler>()) {
    setPostedWake([this] { scheduleDrain(); });
}

WxPlatform::~WxPlatform() {
    setPostedWake(nullptr);
    discardPosted();
}

wxWindow* WxPlatform::nativeOf(const Window* window) {
    const auto* peer =
        window != nullptr ? dynamic_cast<const NativePeer*>(window->peer()) : nullptr;
    return peer != nullptr ? peer->native() : nullptr;
}

// Any thread, with the queue locked: one pending drain is enough.
void WxPlatform::scheduleDrain() {
    if (!drainScheduled_.exchange(true)) {
        pump_->CallAfter([this] { drain(); });
    }
}

void WxPlatform::drain() {
    drainScheduled_ = false;
    while (true) {
        if (endingModals_ > 0) {
            // A modal loop that was ended handles no more messages; its caller's loop will.
            drainDeferred_ = true;
            return;
        }
        if (!dispatchOnePosted()) {
            return;
        }
    }
}

int WxPlatform::runApplication(const std::function<bool()>& initInstance,
                               const std::function<int(int)>& exitInstance) {
    quitRequested_ = false;
    if (wxTheApp != nullptr) {
        if (!initInstance()) {
            return exitInstance(1);
        }
        return exitInstance(runMessageLoop());
    }
    int exitCode = 1;  // stays 1 when wx cannot start (no display)
    wxApp::SetInstance(new TidewellApp(*this, initInstance, exitInstance, exitCode));
    std::string name = appName();
    char* argv[] = {name.data(), nullptr};
    int argc = 1;
    wxEntry(argc, argv);
    return exitCode;
}

int WxPlatform::runMessageLoop() {
    if (quitRequested_) {
        return quitCode_;
    }
    if (hasPosted()) {
        scheduleDrain();
    }
    loopRunning_ = true;
    wxTheApp->MainLoop();
    loopRunning_ = false;
    return quitCode_;
}

void WxPlatform::quit(int exitCode) {
    quitRequested_ = true;
    quitCode_ = exitCode;
    if (loopRunning_ && wxTheApp != nullptr) {
        wxTheApp->ExitMainLoop();
    }
}

void WxPlatform::createPeer(Window& window) {
    if (auto* dialog = dynamic_cast<Dialog*>(&window)) {
        window.setPeer(std::make_unique<DialogPeer>(*this, *dialog));
    } else if (auto* frame = dynamic_cast<FrameWindow*>(&window)) {
        window.setPeer(std::make_unique<FramePeer>(*this, *frame));
    } else {
        window.setPeer(makeFrameChildPeer(*this, window));
    }
}

int WxPlatform::runModal(Dialog& dialog) {
    auto* peer = dynamic_cast<DialogPeer*>(dialog.peer());
    if (peer == nullptr) {
        return kDialogFailed;
    }
    if (hasPosted()) {
        scheduleDrain();
    }
    modalStack_.push_back(&dialog);
    while (true) {
        peer->dialog()->ShowModal();
        if (dialog.isEnding() || !hasSteppedAside(dialog)) {
            break;
        }
        // Aside: the run goes on in a plain loop, in which the other windows and
        // their menus take input (a toolkit modal run would block them).
        wxGUIEventLoop loop;
        asideLoop_ = &loop;
        asideDialog_ = &dialog;
        loop.Run();
        asideLoop_ = nullptr;
        asideDialog_ = nullptr;
        if (dialog.isEnding() || !dialog.IsWindow()) {
            break;
        }
    }
    modalStack_.pop_back();
    if (endingDialogs_.erase(&dialog) != 0) {
        --endingModals_;
    }
    // An outer dialog ended while this one ran: its loop can end now.
    if (!modalStack_.empty() && modalStack_.back() != nullptr && modalStack_.back()->isEnding()) {
        endNow(*modalStack_.back());
    }
    if (drainDeferred_ && endingModals_ == 0) {
        drainDeferred_ = false;
        scheduleDrain();
    }
    return dialog.isEnding() ? dialog.endResult() : kDialogFailed;
}

// Only the innermost modal loop can end: a dialog ended under another modal
// window (its About box, a message box) ends when that one has closed.
void WxPlatform::endModal(Dialog& dialog) {
    if (!modalStack_.empty() && modalStack_.back() == &dialog) {
        endNow(dialog);
    }
}

void WxPlatform::endNow(Dialog& dialog) {
    if (asideLoop_ != nullptr && asideDialog_ == &dialog) {
        asideLoop_->Exit();
        return;
    }
    auto* peer = dynamic_cast<DialogPeer*>(dialog.peer());
    if (peer == nullptr || !peer->dialog()->IsModal()) {
        return;
    }
    if (!endingDialogs_.contains(&dialog)) {
        endingDialogs_.insert(&dialog);
        ++endingModals_;
    }
    peer->dialog()->EndModal(dialog.endResult());
}

void WxPlatform::startTimer(Window& window, UINT_PTR id, std::chrono::milliseconds period) {
    auto timer = std::make_unique<wxTimer>();
    const WindowHandle handle = window.GetSafeHwnd();
    timer->Bind(wxEVT_TIMER, [this, handle, id](wxTimerEvent&) {
        Window* target = findWindow(handle);
        const auto* dialog = dynamic_cast<const Dialog*>(target);
        if (target != nullptr && (dialog == nullptr || !dialog->isEnding())) {
            target->SendMessage(WM_TIMER, id, 0);
        }
    });
    timer->Start(static_cast<int>(period.count()));
    timers_[{handle.id(), id}] = std::move(timer);
}

void WxPlatform::stopTimer(Window& window, UINT_PTR id) {
    timers_.erase({window.GetSafeHwnd().id(), id});
}

void WxPlatform::windowDestroyed(Window& window) {
    const std::uint64_t id = window.GetSafeHwnd().id();
    std::erase_if(timers_, [id](const auto& entry) { return entry.first.first == id; });
    if (endingDialogs_.erase(&window) != 0) {
        --endingModals_;
    }
}

int WxPlatform::messageBox(Window* owner, std::string_view text, std::string_view caption,
                           UINT type) {
    long style = 0;
    switch (type & MB_TYPEMASK) {
        case MB_OKCANCEL:
        case MB_RETRYCANCEL:
            style = wxOK | wxCANCEL;
            break;
        case MB_YESNO:
            style = wxYES_NO;
            break;
        case MB_YESNOCANCEL:
            style = wxYES_NO | wxCANCEL;
            break;
        default:
            style = wxOK;
            break;
    }
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            style |= wxICON_ERROR;
            break;
        case MB_ICONQUESTION:
            style |= wxICON_QUESTION;
            break;
        case MB_ICONWARNING:
            style |= wxICON_WARNING;
            break;
        case MB_ICONINFORMATION:
            style |= wxICON_INFORMATION;
            break;
        default:
            style |= wxICON_NONE;
            break;
    }
    if ((type & MB_DEFBUTTON2) != 0 && (type & MB_TYPEMASK) != MB_OK) {
        style |= (type & MB_TYPEMASK) == MB_OKCANCEL || (type & MB_TYPEMASK) == MB_RETRYCANCEL
                     ? wxCANCEL_DEFAULT
                     : wxNO_DEFAULT;
    }
    wxMessageDialog box(nativeOf(owner), fromUtf8(text), fromUtf8(caption), style);
    if ((type & MB_TYPEMASK) == MB_RETRYCANCEL) {
        box.SetOKCancelLabels(_("&Retry"), _("Cancel"));
    }
    const int answer = runNativeModal([&box] { return box.ShowModal(); });
    switch (answer) {
        case wxID_OK:
            return (type & MB_TYPEMASK) == MB_RETRYCANCEL ? IDRETRY : IDOK;
        case wxID_YES:
            return IDYES;
        case wxID_NO:
            return IDNO;
        default:
            return IDCANCEL;
    }
}

namespace {
std::deque<std::string>& fileDialogAnswers() {
    static std::deque<std::string> answers;
    return answers;
}
}  // namespace

std::optional<std::string> WxPlatform::chooseFile(const FileDialogRequest& request, Window* owner) {
    namespace fs = std::filesystem;
    if (!fileDialogAnswers().empty()) {
        std::string answer = std::move(fileDialogAnswers().front());
        fileDialogAnswers().pop_front();
        return answer;
    }
    std::error_code ec;
    wxString wildcard;
    std::string folder = request.initialFolder.empty() ? "." : request.initialFolder;
    std::string name = request.initialName;
    if (!fs::is_directory(folder, ec) && fs::is_regular_file(folder, ec)) {
        // A starting "folder" that names a file: open its folder with the file chosen.
        name = fs::path(folder).filename().string();
        folder = fs::path(folder).parent_path().string();
    }
    bool patternListed = false;
    for (const auto& f : request.filters) {
        patternListed = patternListed || f.pattern == name;
    }
    if (hasWildcard(name) && !patternListed) {
        wildcard += fromUtf8(name + "|" + name);
    }
    for (const auto& f : request.filters) {
        if (!wildcard.empty()) {
            wildcard += "|";
        }
        wildcard += fromUtf8(f.description + "|" + f.pattern);
    }
    if (hasWildcard(name)) {
        name.clear();
    }
    wxFileDialog dialog(nativeOf(owner), request.open ? _("Open") : _("Save As"), fromUtf8(folder),
                        fromUtf8(name), wildcard,
                        request.open ? wxFD_OPEN : (wxFD_SAVE | wxFD_OVERWRITE_PROMPT));
    if (runNativeModal([&dialog] { return dialog.ShowModal(); }) != wxID_OK) {
        return std::nullopt;
    }
    return toUtf8(dialog.GetPath());
}

void WxPlatform::showAside(Dialog& dialog, Window& other, bool aside) {
    auto* peer = dynamic_cast<DialogPeer*>(dialog.peer());
    wxWindow* window = nativeOf(&other);
    if (peer == nullptr || window == nullptr) {
        return;
    }
    if (aside) {
        // Ends the toolkit's modal run only (it hides the dialog); runModal goes on.
        if (peer->dialog()->IsModal()) {
            peer->dialog()->EndModal(wxID_NONE);
        }
        window->Raise();
    } else if (asideLoop_ != nullptr && asideDialog_ == &dialog) {
        asideLoop_->Exit();
    }
}

int WxPlatform::runNativeModal(const std::function<int()>& show) {
    modalStack_.push_back(nullptr);
    const int result = show();
    modalStack_.pop_back();
    if (!modalStack_.empty() && modalStack_.back() != nullptr && modalStack_.back()->isEnding()) {
        endNow(*modalStack_.back());
    }
    return result;
}

void WxPlatform::messageBeep(UINT /*type*/) {
    wxBell();
}

bool WxPlatform::isKeyToggled(int indicatorId) const {
    switch (indicatorId) {
        case ID_INDICATOR_CAPS:
            return wxGetKeyState(WXK_CAPITAL);
        case ID_INDICATOR_NUM:
            return wxGetKeyState(WXK_NUMLOCK);
        case ID_INDICATOR_SCRL:
            return wxGetKeyState(WXK_SCROLL);
        default:
            return false;
    }
}

}  // namespace wxb

std::unique_ptr<Platform> makeWxPlatform(const ResourceSet& resources) {
    return std::make_unique<wxb::WxPlatform>(resources);
}

namespace wxtest {

wxWindow* nativeWindow(const Window& window) {
    return wxb::WxPlatform::nativeOf(&window);
}

wxWindow* nativeControl(const Window& window, int controlId) {
    const auto* peer = dynamic_cast<const wxb::NativePeer*>(window.peer());
    return peer != nullptr ? peer->nativeControl(controlId) : nullptr;
}

std::vector<wxWindow*> systemMenuButtons(const Window& window) {
    const auto* peer = dynamic_cast<const wxb::NativePeer*>(window.peer());
    return peer != nullptr ? peer->systemButtons() : std::vector<wxWindow*>{};
}

int paintCount(const Window& window) {
    const auto* peer = dynamic_cast<const wxb::NativePeer*>(window.peer());
    return peer != nullptr ? peer->paintCount() : 0;
}

void answerNextFileDialog(std::string path) {
    wxb::fileDialogAnswers().push_back(std::move(path));
}

int nativeCommandId(const FrameWindow& frame, int commandId) {
    auto* peer = dynamic_cast<wxb::FramePeer*>(frame.peer());
    return peer != nullptr ? peer->wxIdFor(commandId) : wxID_NONE;
}

}  // namespace wxtest
}  // namespace tidewell::ui
