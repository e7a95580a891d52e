// Basic types and constants of the windowing layer.
//
// The layer speaks the vocabulary its callers were designed against: window
// messages with two parameters, numeric control and command ids, style bits,
// message-box flags and results. Values are those of the classic desktop API so
// that ids and codes written in resources and handlers keep their meaning.
#pragma once

#include <cstdint>

namespace tidewell::ui {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using COLORREF = std::uint32_t;

constexpr COLORREF RGB(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return COLORREF{r} | (COLORREF{g} << 8) | (COLORREF{b} << 16);
}
constexpr std::uint8_t GetRValue(COLORREF c) {
    return static_cast<std::uint8_t>(c & 0xFF);
}
constexpr std::uint8_t GetGValue(COLORREF c) {
    return static_cast<std::uint8_t>((c >> 8) & 0xFF);
}
constexpr std::uint8_t GetBValue(COLORREF c) {
    return static_cast<std::uint8_t>((c >> 16) & 0xFF);
}

constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high) {
    return WPARAM{low & 0xFFFFu} | (WPARAM{high & 0xFFFFu} << 16);
}
constexpr unsigned LOWORD(WPARAM w) {
    return static_cast<unsigned>(w & 0xFFFFu);
}
constexpr unsigned HIWORD(WPARAM w) {
    return static_cast<unsigned>((w >> 16) & 0xFFFFu);
}

// Rectangle as position and size: dialog units in templates, pixels elsewhere.
struct Rect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    constexpr int right() const { return x + cx; }
    constexpr int bottom() const { return y + cy; }
    friend constexpr bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
    int cx = 0;
    int cy = 0;
    friend constexpr bool operator==(const Size&, const Size&) = default;
};

struct Point {
    int x = 0;
    int y = 0;
    friend constexpr bool operator==(const Point&, const Point&) = default;
};

// Window messages.
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_USER = 0x0400;

// Control notification codes carried in the high word of WM_COMMAND's wParam.
inline constexpr unsigned BN_CLICKED = 0;
inline constexpr unsigned CBN_SELCHANGE = 1;
inline constexpr unsigned EN_CHANGE = 0x0300;

// System commands (WM_SYSCOMMAND); ids below 0xF000 are free for the window's own items.
inline constexpr UINT SC_CLOSE = 0xF060;
inline constexpr UINT SC_MASK = 0xFFF0;

// Dialog and message-box results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;
// A dialog that could not be created, or a modal run that was aborted.
inline constexpr int kDialogFailed = -1;

inline constexpr int IDC_STATIC = -1;

// Message-box types, icons and beep kinds.
inline constexpr UINT MB_OK = 0x00;
inline constexpr UINT MB_OKCANCEL = 0x01;
inline constexpr UINT MB_YESNOCANCEL = 0x03;
inline constexpr UINT MB_YESNO = 0x04;
inline constexpr UINT MB_RETRYCANCEL = 0x05;
inline constexpr UINT MB_TYPEMASK = 0x0F;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_ICONMASK = 0xF0;
// The second button is the default one (Enter, and an unanswered scripted box).
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_SIMPLEBEEP = 0xFFFFFFFF;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;

// Check-box states.
inline constexpr int BST_UNCHECKED = 0;
inline constexpr int BST_CHECKED = 1;

// List results.
inline constexpr int CB_ERR = -1;

// Window styles.
inline constexpr UINT WS_OVERLAPPED = 0x00000000;
inline constexpr UINT WS_POPUP = 0x80000000;
inline constexpr UINT WS_CHILD = 0x40000000;
inline constexpr UINT WS_VISIBLE = 0x10000000;
inline constexpr UINT WS_DISABLED = 0x08000000;
inline constexpr UINT WS_CAPTION = 0x00C00000;
inline constexpr UINT WS_BORDER = 0x00800000;
inline constexpr UINT WS_VSCROLL = 0x00200000;
inline constexpr UINT WS_HSCROLL = 0x00100000;
inline constexpr UINT WS_SYSMENU = 0x00080000;
inline constexpr UINT WS_THICKFRAME = 0x00040000;
inline constexpr UINT WS_GROUP = 0x00020000;
inline constexpr UINT WS_TABSTOP = 0x00010000;
inline constexpr UINT WS_MINIMIZEBOX = 0x00020000;
inline constexpr UINT WS_MAXIMIZEBOX = 0x00010000;
inline constexpr UINT WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr UINT FWS_ADDTOTITLE = 0x00008000;
inline constexpr UINT DS_SETFONT = 0x40;
inline constexpr UINT DS_MODALFRAME = 0x80;
inline constexpr UINT WS_EX_CLIENTEDGE = 0x00000200;
inline constexpr UINT WS_EX_APPWINDOW = 0x00040000;

// Control styles (meaning depends on the control kind).
inline constexpr UINT BS_DEFPUSHBUTTON = 0x0001;
inline constexpr UINT ES_MULTILINE = 0x0004;
inline constexpr UINT ES_AUTOVSCROLL = 0x0040;
inline constexpr UINT ES_AUTOHSCROLL = 0x0080;
inline constexpr UINT ES_READONLY = 0x0800;
inline constexpr UINT ES_WANTRETURN = 0x1000;
inline constexpr UINT SS_CENTER = 0x0001;
inline constexpr UINT SS_RIGHT = 0x0002;
inline constexpr UINT SS_NOPREFIX = 0x0080;
inline constexpr UINT SS_SUNKEN = 0x1000;
inline constexpr UINT PBS_SMOOTH = 0x0001;

// Control-bar styles.
inline constexpr UINT CBRS_TOOLTIPS = 0x0010;
inline constexpr UINT CBRS_FLYBY = 0x0020;
inline constexpr UINT CBRS_SIZE_DYNAMIC = 0x0040;
inline constexpr UINT CBRS_BORDER_TOP = 0x0200;
inline constexpr UINT CBRS_BORDER_BOTTOM = 0x0800;
inline constexpr UINT CBRS_ALIGN_TOP = 0x1000;
inline constexpr UINT CBRS_ALIGN_BOTTOM = 0x8000;
inline constexpr UINT CBRS_GRIPPER = 0x00400000;
inline constexpr UINT CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
inline constexpr UINT CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;
inline constexpr UINT TBSTYLE_FLAT = 0x0800;

// Menu item flags.
inline constexpr UINT MF_BYCOMMAND = 0x0000;
inline constexpr UINT MF_STRING = 0x0000;
inline constexpr UINT MF_ENABLED = 0x0000;
inline constexpr UINT MF_UNCHECKED = 0x0000;
inline constexpr UINT MF_GRAYED = 0x0001;
inline constexpr UINT MF_CHECKED = 0x0008;
inline constexpr UINT MF_POPUP = 0x0010;
inline constexpr UINT MF_SEPARATOR = 0x0800;
// The item can carry a check mark (shown with a check indicator where the toolkit needs one).
inline constexpr UINT MF_CHECKABLE = 0x00010000;
inline constexpr UINT kMenuError = 0xFFFFFFFF;

// Accelerator flags and the virtual keys the resources use.
inline constexpr std::uint8_t FVIRTKEY = 0x01;
inline constexpr std::uint8_t FSHIFT = 0x04;
inline constexpr std::uint8_t FCONTROL = 0x08;
inline constexpr std::uint8_t FALT = 0x10;
inline constexpr UINT VK_BACK = 0x08;
inline constexpr UINT VK_RETURN = 0x0D;
inline constexpr UINT VK_ESCAPE = 0x1B;
inline constexpr UINT VK_INSERT = 0x2D;
inline constexpr UINT VK_DELETE = 0x2E;
inline constexpr UINT VK_F1 = 0x70;
inline constexpr UINT VK_F6 = 0x75;
inline constexpr UINT VK_F12 = 0x7B;

// Background modes and text formats of painting.
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;
inline constexpr UINT DT_LEFT = 0x0000;
inline constexpr UINT DT_CENTER = 0x0001;
inline constexpr UINT DT_RIGHT = 0x0002;
inline constexpr UINT DT_VCENTER = 0x0004;
inline constexpr UINT DT_BOTTOM = 0x0008;
inline constexpr UINT DT_SINGLELINE = 0x0020;
inline constexpr UINT DT_NOPREFIX = 0x0800;

inline constexpr int FW_NORMAL = 400;
inline constexpr int FW_BOLD = 700;
inline constexpr std::uint8_t DEFAULT_CHARSET = 1;

// Standard command and child-window ids of the framework.
inline constexpr int ID_SEPARATOR = 0;
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_PRINT_SETUP = 57606;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_FILE_PRINT_PREVIEW = 57609;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_HELP = 57670;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
inline constexpr int ID_INDICATOR_CAPS = 59137;
inline constexpr int ID_INDICATOR_NUM = 59138;
inline constexpr int ID_INDICATOR_SCRL = 59139;
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
inline constexpr int AFX_IDW_TOOLBAR = 59392;
inline constexpr int AFX_IDW_STATUS_BAR = 59393;
inline constexpr int AFX_IDW_PANE_FIRST = 59648;

}  // namespace tidewell::ui
