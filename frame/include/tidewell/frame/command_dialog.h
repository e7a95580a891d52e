// CCommandDialog: the terminal window's one-line command entry (template 129:
// edit field 1008, "&Send" button 1009). It has no handlers of its own: Send
// reaches the frame's OnSendButton through the bar's command routing.
#pragma once

#include "tidewell/ui/frame.h"
#include "tidewell/ui/types.h"

namespace tidewell {

class CCommandDialog : public ui::DialogBar {
  public:
    // Creates the bar from template 129 as a child of parent, bar id 129.
    bool Create(ui::FrameWindow* parent, ui::UINT style);
};

}  // namespace tidewell
