// Access to the real widgets behind window models, for GUI tests.
#pragma once

#include <wx/window.h>

#include <memory>
#include <string>
#include <vector>

#include "tidewell/ui/frame.h"
#include "tidewell/ui/window.h"

namespace tidewell::ui::wxtest {

// The toolkit window showing a window model (dialog, frame, bar, log); null without one.
wxWindow* nativeWindow(const Window& window);
// The widget showing one control of a dialog or dialog bar; null for painted
// controls (bitmaps, icons, owner-drawn text) and for unknown ids.
wxWindow* nativeControl(const Window& window, int controlId);
// The buttons standing in for the system menu's own items, in menu order.
std::vector<wxWindow*> systemMenuButtons(const Window& window);
// How often a dialog's own painting ran (bitmaps, icons, owner-drawn text).
int paintCount(const Window& window);
// The wx id of a frame's command (menu items, tool buttons, accelerators).
int nativeCommandId(const FrameWindow& frame, int commandId);
// The next file dialog returns path without showing: GTK's file chooser gives no
// path before it is shown, so the toolkit's own test hook cannot answer it.
void answerNextFileDialog(std::string path);

// The toolkit's warnings and critical messages (GTK, GLib, ATK) while it lives;
// they go nowhere else meanwhile. One at a time.
class ToolkitMessages {
  public:
    ToolkitMessages();
    ~ToolkitMessages();
    ToolkitMessages(const ToolkitMessages&) = delete;
    ToolkitMessages& operator=(const ToolkitMessages&) = delete;
    const std::vector<std::string>& messages() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tidewell::ui::wxtest
