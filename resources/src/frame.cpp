#include <string>

#include "tables.h"
#include "tidewell/resources/ids.h"

namespace tidewell::res {
namespace {

using ui::MenuTemplateItem;

MenuTemplateItem item(std::string text, int id, ui::UINT flags = ui::MF_STRING) {
    return {std::move(text), id, flags, {}};
}

MenuTemplateItem checkable(std::string text, int id) {
    return item(std::move(text), id, ui::MF_CHECKABLE);
}

MenuTemplateItem separator() {
    return {"", 0, ui::MF_SEPARATOR, {}};
}

MenuTemplateItem popup(std::string text, std::vector<MenuTemplateItem> children) {
    return {std::move(text), 0, ui::MF_POPUP, std::move(children)};
}

}  // namespace

ui::MenuTemplate makeMainMenu() {
    std::vector<MenuTemplateItem> ports;
    for (int n = 1; n <= ID_COMM_PORT_LAST - ID_COMM_PORT_FIRST + 1; ++n) {
        ports.push_back(checkable("COM&" + std::to_string(n), ID_COMM_PORT_FIRST + n - 1));
    }
    return {
        IDR_MAINFRAME,
        {
            popup("&File",
                  {
                      item("&New\tCtrl+N", ui::ID_FILE_NEW),
                      item("&Open...\tCtrl+O", ui::ID_FILE_OPEN),
                      item("&Save\tCtrl+S", ui::ID_FILE_SAVE),
                      item("Save &As...", ui::ID_FILE_SAVE_AS),
                      separator(),
                      item("&Print...\tCtrl+P", ui::ID_FILE_PRINT),
                      item("Print Pre&view", ui::ID_FILE_PRINT_PREVIEW),
                      item("P&rint Setup...", ui::ID_FILE_PRINT_SETUP),
                      separator(),
                      item("Recent File", ui::ID_FILE_MRU_FILE1),
                      separator(),
                      item("E&xit", ui::ID_APP_EXIT),
                  }),
            popup("&Edit",
                  {
                      item("&Undo\tCtrl+Z", ui::ID_EDIT_UNDO),
                      separator(),
                      item("Cu&t\tCtrl+X", ui::ID_EDIT_CUT),
                      item("&Copy\tCtrl+C", ui::ID_EDIT_COPY),
                      item("&Paste\tCtrl+V", ui::ID_EDIT_PASTE),
                  }),
            popup("&View",
                  {
                      checkable("&Toolbar", ui::ID_VIEW_TOOLBAR),
                      checkable("&Status Bar", ui::ID_VIEW_STATUS_BAR),
                      checkable("&Command Bar", ID_VIEW_COMMAND_BAR),
                  }),
            popup("&Communication",
                  {
                      item("&Wizard...", ID_COMM_WIZARD),
                      separator(),
                      checkable("&Connect", ID_COMM_CONNECT),
                      checkable("&Disconnect", ID_COMM_DISCONNECT),
                      separator(),
                      popup("&Port", std::move(ports)),
                      popup("&Speed",
                            {
                                checkable("&2400", ID_COMM_SPEED_2400),
                                checkable("9&600", ID_COMM_SPEED_9600),
                                checkable("1&9200", ID_COMM_SPEED_19200),
                                checkable("&38400", ID_COMM_SPEED_38400),
                                checkable("&57600", ID_COMM_SPEED_57600),
                                checkable("&115200", ID_COMM_SPEED_115200),
                            }),
                      separator(),
                      item("De&tect", ID_COMM_DETECT),
                      item("Terminal", ID_COMM_TERMINAL),
                      item("&Upload", ID_COMM_UPLOAD),
                      item("&Download", ID_COMM_DOWNLOAD),
                      separator(),
                      item("Save Trace...", ID_COMM_SAVE_TRACE),
                  }),
            popup("&Help", {item("&About Tidewell...", ui::ID_APP_ABOUT)}),
        },
    };
}

ui::AcceleratorTable makeAccelerators() {
    using ui::FALT;
    using ui::FCONTROL;
    using ui::FSHIFT;
    using ui::FVIRTKEY;
    return {IDR_MAINFRAME,
            {
                {FVIRTKEY | FCONTROL, 'N', ui::ID_FILE_NEW},
                {FVIRTKEY | FCONTROL, 'O', ui::ID_FILE_OPEN},
                {FVIRTKEY | FCONTROL, 'S', ui::ID_FILE_SAVE},
                {FVIRTKEY | FCONTROL, 'P', ui::ID_FILE_PRINT},
                {FVIRTKEY | FCONTROL, 'Z', ui::ID_EDIT_UNDO},
                {FVIRTKEY | FALT, ui::VK_BACK, ui::ID_EDIT_UNDO},
                {FVIRTKEY | FCONTROL, 'X', ui::ID_EDIT_CUT},
                {FVIRTKEY | FSHIFT, ui::VK_DELETE, ui::ID_EDIT_CUT},
                {FVIRTKEY | FCONTROL, 'C', ui::ID_EDIT_COPY},
                {FVIRTKEY | FCONTROL, ui::VK_INSERT, ui::ID_EDIT_COPY},
                {FVIRTKEY | FCONTROL, 'V', ui::ID_EDIT_PASTE},
                {FVIRTKEY | FSHIFT, ui::VK_INSERT, ui::ID_EDIT_PASTE},
                {FVIRTKEY, ui::VK_F6, ui::ID_NEXT_PANE},
                {FVIRTKEY | FSHIFT, ui::VK_F6, ui::ID_PREV_PANE},
            }};
}

ui::ToolBarTemplate makeToolBar() {
    return {IDR_MAINFRAME,
            {16, 15},
            {
                {ui::ID_FILE_NEW, "new", "New"},
                {ui::ID_FILE_OPEN, "open", "Open"},
                {ui::ID_FILE_SAVE, "save", "Save"},
                {ui::ID_SEPARATOR, "", ""},
                {ui::ID_EDIT_CUT, "cut", "Cut"},
                {ui::ID_EDIT_COPY, "copy", "Copy"},
                {ui::ID_EDIT_PASTE, "paste", "Paste"},
                {ui::ID_SEPARATOR, "", ""},
                {ui::ID_FILE_PRINT, "print", "Print"},
                {ui::ID_SEPARATOR, "", ""},
                {ui::ID_APP_ABOUT, "help", "About"},
            }};
}

}  // namespace tidewell::res
