#include "tidewell/frame/command_dialog.h"

#include "tidewell/resources/ids.h"

namespace tidewell {

bool CCommandDialog::Create(ui::FrameWindow* parent, ui::UINT style) {
    return ui::DialogBar::Create(parent, res::IDD_COMMAND_BAR,
                                 ui::WS_CHILD | ui::WS_VISIBLE | style, res::IDW_COMMAND_BAR);
}

}  // namespace tidewell
