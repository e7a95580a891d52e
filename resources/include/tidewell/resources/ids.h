// Ids of Tidewell's resources: dialog templates, strings, controls, commands.
#pragma once

namespace tidewell::res {

// Dialog templates.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_FILE_SELECTION = 102;
inline constexpr int IDD_PORT_SELECTION = 103;
inline constexpr int IDD_DETECTION = 104;
inline constexpr int IDD_PROGRESS = 105;
inline constexpr int IDD_COMMAND_BAR = 129;
inline constexpr int IDD_OPERATION_CHOICE = 130;

// The frame's title string, menu, accelerator table, icon and tool bar.
inline constexpr int IDR_MAINFRAME = 128;
// The banner across the top of the wizard pages and the About box.
inline constexpr int IDB_BANNER = 130;

// Strings.
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDS_FIRMWARE_NOT_VALID = 129;
inline constexpr int IDS_CANT_OPEN_FILE = 130;
inline constexpr int IDS_UNABLE_TO_OPEN_PORT = 131;
inline constexpr int IDS_DETECTION_ERROR = 132;
inline constexpr int IDS_DEVICE_DETECTED = 133;
inline constexpr int IDS_LOGIN_ERROR = 134;
inline constexpr int IDS_UNEXPECTED_STATE = 135;
inline constexpr int IDS_CANT_START_UPLOAD = 136;
inline constexpr int IDS_CANT_START_DOWNLOAD = 137;
inline constexpr int IDS_TRANSFER_COMPLETED = 138;
inline constexpr int IDS_TRANSFER_CANCELLED = 139;
inline constexpr int IDS_NO_REMOTE = 140;
inline constexpr int IDS_TRANSFER_ERROR = 141;
inline constexpr int IDS_TOO_MANY_RETRY = 142;
inline constexpr int IDS_CANT_WRITE_FILE = 143;
inline constexpr int IDS_UNEXPECTED_RESULT = 144;
inline constexpr int IDS_TRANSFER_PROGRESS = 145;
inline constexpr int IDS_TITLE_WELCOME = 146;
inline constexpr int IDS_TITLE_DETECTION = 147;
inline constexpr int IDS_TITLE_FIRMWARE = 148;
inline constexpr int IDS_TITLE_OPERATION = 149;
inline constexpr int IDS_TITLE_BACKUP = 150;
inline constexpr int IDS_TITLE_UPDATE = 151;
inline constexpr int IDS_TITLE_SETTING = 152;
inline constexpr int IDS_TITLE_PLAYLIST = 153;

// Page buttons: Next is IDOK (1), Exit is IDCANCEL (2).
inline constexpr int IDC_BACK = 3;

// Controls.
inline constexpr int IDC_EXPLANATION = 1000;
inline constexpr int IDC_FILE_BOX = 1002;
inline constexpr int IDC_BROWSE = 1003;
inline constexpr int IDC_STATUS = 1005;
inline constexpr int IDC_PROGRESS = 1006;
inline constexpr int IDC_COMMAND_EDIT = 1008;
inline constexpr int IDC_SEND = 1009;
inline constexpr int IDC_PORT_LIST = 1010;
inline constexpr int IDC_TITLE = 1014;
inline constexpr int IDC_OPERATION_FIRST = 1015;  // five check boxes, 1015 to 1019
inline constexpr int IDC_OPERATION_COUNT = 5;
// The progress page's line under the bar: why a transfer failed.
inline constexpr int IDC_REASON = 1020;

// The system-menu item every page adds ("&About...").
inline constexpr int IDM_ABOUTBOX = 0x10;

// Commands of the terminal window.
inline constexpr int ID_VIEW_COMMAND_BAR = 32771;
inline constexpr int ID_COMM_CONNECT = 32772;
inline constexpr int ID_COMM_DISCONNECT = 32773;
inline constexpr int ID_COMM_PORT_FIRST = 32774;  // COMn is ID_COMM_PORT_FIRST + n - 1
inline constexpr int ID_COMM_PORT_LAST = 32789;
inline constexpr int ID_COMM_SPEED_2400 = 32790;
inline constexpr int ID_COMM_SPEED_9600 = 32791;
inline constexpr int ID_COMM_SPEED_19200 = 32792;
inline constexpr int ID_COMM_SPEED_38400 = 32793;
inline constexpr int ID_COMM_SPEED_57600 = 32794;
inline constexpr int ID_COMM_SPEED_115200 = 32795;
inline constexpr int ID_COMM_UPLOAD = 32796;
inline constexpr int ID_COMM_WIZARD = 32797;
inline constexpr int ID_COMM_DETECT = 32798;
inline constexpr int ID_COMM_DOWNLOAD = 32799;
inline constexpr int ID_COMM_TERMINAL = 32800;
inline constexpr int ID_COMM_SAVE_TRACE = 32801;

// Child-window id of the command bar.
inline constexpr int IDW_COMMAND_BAR = 129;

}  // namespace tidewell::res
