#include "tables.h"
#include "tidewell/resources/ids.h"

namespace tidewell::res {
namespace {

using ui::ControlKind;
using ui::ControlTemplate;
using ui::DialogTemplate;

constexpr ui::UINT kPageStyle =
    ui::WS_POPUP | ui::WS_CAPTION | ui::WS_SYSMENU | ui::DS_MODALFRAME | ui::DS_SETFONT;
constexpr ui::UINT kButton = ui::WS_VISIBLE | ui::WS_TABSTOP;
constexpr ui::UINT kLabel = ui::WS_VISIBLE;
constexpr std::string_view kDialogFont = "MS Sans Serif";
constexpr int kDialogFontPoints = 8;
constexpr ui::Size kPageSize{320, 200};

ControlTemplate label(int id, ui::Rect rect, std::string text, ui::UINT extra = 0) {
    return {id, ControlKind::Label, rect, std::move(text), kLabel | extra, 0};
}

ControlTemplate status(ui::Rect rect, std::string text) {
    ControlTemplate t = label(IDC_STATUS, rect, std::move(text));
    t.role = ui::AccessibleRole::Status;
    return t;
}

ControlTemplate button(int id, ui::Rect rect, std::string text, ui::UINT style = kButton) {
    return {id, ControlKind::PushButton, rect, std::move(text), style, 0};
}

struct PageOptions {
    int id;
    std::string caption = "Tidewell";
    bool nextEnabled = false;
    bool backShown = true;
    std::string explanation;
    ui::Rect explanationRect{85, 61, 220, 36};
};

// The layout every wizard page shares: banner, title, explanation, separator,
// Exit, Back and Next. Page controls follow.
DialogTemplate page(const PageOptions& o, std::vector<ControlTemplate> own) {
    DialogTemplate t;
    t.id = o.id;
    t.size = kPageSize;
    t.style = kPageStyle;
    t.exStyle = ui::WS_EX_APPWINDOW;
    t.caption = o.caption;
    t.fontFace = std::string(kDialogFont);
    t.fontPoints = kDialogFontPoints;
    t.controls = {
        {ui::IDC_STATIC, ControlKind::Bitmap, {0, 0, 319, 35}, "", ui::WS_VISIBLE, IDB_BANNER},
        {IDC_TITLE,
         ControlKind::Label,
         {26, 7, 150, 12},
         "",
         kLabel | ui::SS_NOPREFIX,
         0,
         ui::AccessibleRole::Heading},
        {ui::IDC_STATIC, ControlKind::Icon, {31, 61, 21, 20}, "", ui::WS_VISIBLE, IDR_MAINFRAME},
        label(IDC_EXPLANATION, o.explanationRect, o.explanation),
    };
    for (auto& c : own) {
        t.controls.push_back(std::move(c));
    }
    t.controls.push_back({ui::IDC_STATIC,
                          ControlKind::EtchedLine,
                          {7, 170, 306, 1},
                          "",
                          ui::WS_VISIBLE | ui::SS_SUNKEN,
                          0});
    t.controls.push_back(button(ui::IDCANCEL, {7, 179, 50, 14}, "&Exit"));
    t.controls.push_back(button(IDC_BACK, {208, 179, 50, 14}, "< &Back",
                                o.backShown ? kButton : (ui::WS_TABSTOP | ui::WS_DISABLED)));
    t.controls.push_back(
        button(ui::IDOK, {263, 179, 50, 14}, "&Next >",
               kButton | ui::BS_DEFPUSHBUTTON | (o.nextEnabled ? 0 : ui::WS_DISABLED)));
    return t;
}

DialogTemplate aboutBox() {
    DialogTemplate t;
    t.id = IDD_ABOUTBOX;
    t.size = {178, 106};
    t.style = kPageStyle;
    t.caption = "About Tidewell";
    t.fontFace = std::string(kDialogFont);
    t.fontPoints = kDialogFontPoints;
    t.controls = {
        {ui::IDC_STATIC, ControlKind::Bitmap, {0, 0, 178, 20}, "", ui::WS_VISIBLE, IDB_BANNER},
        {ui::IDC_STATIC, ControlKind::Icon, {11, 30, 21, 20}, "", ui::WS_VISIBLE, IDR_MAINFRAME},
        label(ui::IDC_STATIC, {40, 31, 130, 8}, "Tidewell Version 1.2", ui::SS_NOPREFIX),
        label(ui::IDC_STATIC, {40, 45, 130, 8}, "Copyright (C) 2024 the Tidewell authors.",
              ui::SS_NOPREFIX),
        label(ui::IDC_STATIC, {40, 55, 130, 8}, "Free to use, copy and change.", ui::SS_NOPREFIX),
        button(ui::IDOK, {121, 85, 50, 14}, "OK", kButton | ui::BS_DEFPUSHBUTTON),
    };
    return t;
}

DialogTemplate commandBar() {
    DialogTemplate t;
    t.id = IDD_COMMAND_BAR;
    t.size = {361, 21};
    t.style = ui::WS_CHILD | ui::DS_SETFONT;
    t.fontFace = std::string(kDialogFont);
    t.fontPoints = kDialogFontPoints;
    t.controls = {
        {IDC_COMMAND_EDIT,
         ControlKind::Edit,
         {5, 3, 295, 14},
         "",
         ui::WS_VISIBLE | ui::WS_BORDER | ui::WS_TABSTOP | ui::ES_AUTOHSCROLL,
         0},
        button(IDC_SEND, {305, 3, 50, 14}, "&Send"),
    };
    return t;
}

}  // namespace

std::vector<DialogTemplate> makeDialogs() {
    std::vector<DialogTemplate> dialogs;
    dialogs.push_back(aboutBox());

    std::vector<ControlTemplate> fileControls = {
        label(ui::IDC_STATIC, {85, 105, 100, 8}, "Selected file:"),
        {IDC_FILE_BOX,
         ControlKind::Edit,
         {85, 115, 174, 14},
         "",
         ui::WS_VISIBLE | ui::WS_DISABLED | ui::WS_BORDER | ui::ES_AUTOHSCROLL,
         0},
        button(IDC_BROWSE, {263, 115, 35, 14}, "Browse"),
    };
    dialogs.push_back(page({.id = IDD_FILE_SELECTION,
                            .explanation = "Select the file you want to update.",
                            .explanationRect = {84, 61, 177, 22}},
                           std::move(fileControls)));

    std::vector<ControlTemplate> portControls = {
        label(ui::IDC_STATIC, {86, 105, 120, 8}, "Select communication port:"),
        // As wide as the status line: each entry names the device behind its COM number.
        {IDC_PORT_LIST,
         ControlKind::DropDownList,
         {86, 118, 172, 83},
         "",
         ui::WS_VISIBLE | ui::WS_VSCROLL | ui::WS_TABSTOP,
         0},
        status({86, 146, 172, 19}, ""),
    };
    dialogs.push_back(page({.id = IDD_PORT_SELECTION,
                            .caption = "Tidewell 1.2",
                            .nextEnabled = true,
                            .backShown = false,
                            .explanation = "Connect your computer to the device using a standard "
                                           "serial cable and select the communication port on "
                                           "wich your cable is connected."},
                           std::move(portControls)));

    dialogs.push_back(
        page({.id = IDD_DETECTION,
              .explanation = "Power up your device and press next when the device is detected."},
             {status({86, 105, 172, 31}, "Detecting...")}));

    std::vector<ControlTemplate> progressControls = {
        status({88, 106, 175, 8}, "Initializing..."),
        {IDC_PROGRESS,
         ControlKind::Progress,
         {88, 119, 175, 14},
         "",
         ui::WS_VISIBLE | ui::WS_BORDER,
         0},
        label(IDC_REASON, {88, 137, 175, 26}, ""),
    };
    dialogs.push_back(page({.id = IDD_PROGRESS,
                            .explanation = "Please wait while your device is updating. Press next "
                                           "when the transfer is completed."},
                           std::move(progressControls)));

    dialogs.push_back(commandBar());

    std::vector<ControlTemplate> boxes;
    for (int i = 0; i < IDC_OPERATION_COUNT; ++i) {
        boxes.push_back({IDC_OPERATION_FIRST + i,
                         ControlKind::CheckBox,
                         {97, 83 + 15 * i, 173, 10},
                         "Check" + std::to_string(i + 1),
                         ui::WS_TABSTOP | ui::WS_DISABLED,
                         0});
    }
    dialogs.push_back(page({.id = IDD_OPERATION_CHOICE,
                            .explanation = "Select option bellow.",
                            .explanationRect = {85, 61, 220, 18}},
                           std::move(boxes)));
    return dialogs;
}

}  // namespace tidewell::res
