// Private parts of the wx backend: peers that show window models with wx widgets.
#pragma once

#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/dialog.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/panel.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "tidewell/ui/control.h"
#include "tidewell/ui/dialog.h"
#include "tidewell/ui/frame.h"
#include "tidewell/ui/menu.h"
#include "tidewell/ui/platform.h"

namespace tidewell::ui::wxb {

class WxPlatform;

// Decoded art, shared by every window of a platform.
class ImageCache {
  public:
    explicit ImageCache(const ResourceSet& resources) : resources_(resources) {}
    // The bitmap resource scaled to size; invalid when the id is unknown.
    wxBitmap bitmap(int id, wxSize size);
    // The icon image closest to size (not scaled above its own size).
    wxBitmap icon(int id, wxSize size);
    wxIconBundle iconBundle(int id);

  private:
    static wxImage decode(const ImageData& data);
    const ResourceSet& resources_;
    std::map<std::pair<int, std::pair<int, int>>, wxBitmap> scaled_;
};

// Base of every peer: gives tests the toolkit window behind a model.
class NativePeer : public WindowPeer {
  public:
    virtual wxWindow* native() const = 0;
    virtual wxWindow* nativeControl(int /*id*/) const { return nullptr; }
    virtual std::vector<wxWindow*> systemButtons() const { return {}; }
    virtual int paintCount() const { return 0; }
};

// Dialog units of a font: the average character width and the character height.
struct DialogUnits {
    int baseX = 6;
    int baseY = 13;
    static DialogUnits of(const wxFont& font);
    int x(int du) const { return (du * baseX + 2) / 4; }
    int y(int du) const { return (du * baseY + 4) / 8; }
    wxRect rect(const Rect& du) const;
};

// The font a template asks for: its face when installed, else the sans face.
wxFont templateFont(const DialogTemplate& tpl);

// Controls of one template shown on a wx parent (a dialog or a dialog bar's
// panel). Bitmaps, icons and owner-drawn controls are painted on the parent
// itself, so they show through each other as on the original.
class TemplateView : public ControlObserver {
  public:
    TemplateView(WxPlatform& platform, Window& owner, wxWindow* parent, const DialogTemplate& tpl,
                 const std::vector<std::unique_ptr<Control>>& controls);
    ~TemplateView() override;

    void controlChanged(Control& control, ControlChange change) override;
    wxWindow* widget(int id) const;
    const DialogUnits& units() const { return units_; }
    wxSize pixelSize() const;
    int paintCount() const { return paints_; }
    // The bottom row of push buttons: its pixel rectangle band and free gaps.
    std::vector<wxRect> buttonRowGaps() const;

  private:
    struct Entry {
        Control* control;
        wxWindow* widget;  // null for painted controls
        wxRect rect;
        wxWindow* standIn = nullptr;  // the unseen label of painted text
    };
    void build(Entry& entry);
    void standIn(Entry& entry);
    void fitMinimumHeight(Entry& entry);
    void takeFocusFromOtherButton(const Control& control, wxWindow& widget);
    void syncAll(Entry& entry);
    void sync(Entry& entry, ControlChange change);
    void onPaint();
    Entry* find(Control& control);
    wxString label(const Control& control) const;

    WxPlatform& platform_;
    Window& owner_;
    wxWindow* parent_;
    const DialogTemplate& tpl_;
    DialogUnits units_;
    std::vector<Entry> entries_;
    int paints_ = 0;
};

class DialogPeer : public NativePeer, public MenuObserver {
  public:
    DialogPeer(WxPlatform& platform, Dialog& dialog);
    ~DialogPeer() override;

    wxWindow* native() const override { return window_; }
    wxWindow* nativeControl(int id) const override { return view_->widget(id); }
    std::vector<wxWindow*> systemButtons() const override { return systemButtons_; }
    int paintCount() const override { return view_->paintCount(); }
    wxDialog* dialog() const { return window_; }

    void captionChanged() override;
    void iconChanged() override;
    void menuChanged(Menu& menu) override;

  private:
    void showSystemMenu();

    WxPlatform& platform_;
    Dialog& model_;
    wxDialog* window_;
    std::unique_ptr<TemplateView> view_;
    std::vector<wxWindow*> systemButtons_;
};

class FramePeer : public NativePeer, public MenuObserver {
  public:
    FramePeer(WxPlatform& platform, FrameWindow& frame);
    ~FramePeer() override;

    wxWindow* native() const override { return window_; }
    wxFrame* frame() const { return window_; }

    void captionChanged() override;
    void visibilityChanged() override;
    void iconChanged() override;
    void updateNow() override;
    void menuChanged(Menu& menu) override;

    // wx wants menu and tool ids below 0x7FFF; command ids above that are mapped.
    int wxIdFor(int command);
    std::optional<int> commandFor(int wxId) const;

    // Children: bars and the log view place themselves through the frame.
    enum class Place { Top, Fill, Bottom };
    void attach(wxWindow* child, Place place);
    void detach(wxWindow* child);
    void relayout();

  private:
    void buildMenu();
    void buildAccelerators();
    void rebuildSizer();

    WxPlatform& platform_;
    FrameWindow& model_;
    wxFrame* window_;
    std::map<int, wxMenuItem*> items_;  // by command id
    std::map<int, int> wxIds_;          // command id -> wx id
    std::map<int, int> commands_;       // wx id -> command id
    int nextWxId_;
    std::vector<std::pair<wxWindow*, Place>> children_;
    wxTimer indicatorTimer_;
};

// Peers of a frame's bars and log view; null when the parent frame has no peer.
std::unique_ptr<WindowPeer> makeFrameChildPeer(WxPlatform& platform, Window& window);

class WxPlatform : public Platform {
  public:
    explicit WxPlatform(const ResourceSet& resources);
    ~WxPlatform() override;

    ImageCache& images() { return images_; }
    // The toolkit window of a model, or null.
    static wxWindow* nativeOf(const Window* window);

    int runApplication(const std::function<bool()>& initInstance,
                       const std::function<int(int)>& exitInstance) override;
    int runMessageLoop() override;
    void quit(int exitCode) override;
    void createPeer(Window& window) override;
    int runModal(Dialog& dialog) override;
    void endModal(Dialog& dialog) override;
    void startTimer(Window& window, UINT_PTR id, std::chrono::milliseconds period) override;
    void stopTimer(Window& window, UINT_PTR id) override;
    int messageBox(Window* owner, std::string_view text, std::string_view caption,
                   UINT type) override;
    std::optional<std::string> chooseFile(const FileDialogRequest& request, Window* owner) override;
    void messageBeep(UINT type) override;
    bool isKeyToggled(int indicatorId) const override;

  protected:
    void windowDestroyed(Window& window) override;
    void showAside(Dialog& dialog, Window& other, bool aside) override;

  private:
    void scheduleDrain();
    void drain();
    void endNow(Dialog& dialog);
    // Runs a toolkit dialog (message box, file dialog) as a modal run of its own.
    int runNativeModal(const std::function<int()>& show);

    ImageCache images_;
    std::unique_ptr<wxEvtHandler> pump_;
    std::atomic<bool> drainScheduled_{false};
    bool drainDeferred_ = false;
    int endingModals_ = 0;
    std::set<const Window*> endingDialogs_;
    // Modal runs, innermost last; null for a message box or file dialog.
    std::vector<Dialog*> modalStack_;
    // The plain loop of a modal run whose dialog stepped aside, and that dialog.
    wxEventLoopBase* asideLoop_ = nullptr;
    const Dialog* asideDialog_ = nullptr;
    std::map<std::pair<std::uint64_t, UINT_PTR>, std::unique_ptr<wxTimer>> timers_;
    bool quitRequested_ = false;
    int quitCode_ = 0;
    bool loopRunning_ = false;
};

}  // namespace tidewell::ui::wxb
