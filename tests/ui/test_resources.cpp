#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/text.h"

namespace tidewell::res {
namespace {

using ui::ControlKind;
using ui::DialogTemplate;

const ui::ControlTemplate* control(const DialogTemplate& t, int id) {
    for (const auto& c : t.controls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

const DialogTemplate& dialog(int id) {
    const DialogTemplate* t = tidewellResources().findDialog(id);
    if (t == nullptr) {
        throw std::runtime_error("missing dialog " + std::to_string(id));
    }
    return *t;
}

TEST(StringTable, HoldsExactlyTheProgramsIds) {
    std::vector<int> present;
    for (int id = 0; id < 1000; ++id) {
        if (tidewellResources().findString(id)) {
            present.push_back(id);
        }
    }
    std::vector<int> expected{101};
    for (int id = 128; id <= 153; ++id) {
        expected.push_back(id);
    }
    EXPECT_EQ(present, expected);
    EXPECT_EQ(loadString(154), "");
}

TEST(StringTable, TextsStandAsWrittenMisspellingsIncluded) {
    EXPECT_EQ(loadString(IDS_ABOUTBOX), "&About...");
    EXPECT_EQ(loadString(IDR_MAINFRAME), "Tidewell");
    EXPECT_EQ(loadString(IDS_FIRMWARE_NOT_VALID), "Firmware file is not valid.");
    EXPECT_EQ(loadString(IDS_UNABLE_TO_OPEN_PORT), "Unable to open COM%1!d!.");
    EXPECT_EQ(loadString(IDS_TRANSFER_COMPLETED), "Transfer completed sucessfully.");
    EXPECT_EQ(loadString(IDS_TOO_MANY_RETRY), "Error, too many retry.");
    EXPECT_EQ(loadString(IDS_CANT_WRITE_FILE), "Can't write to file");
    EXPECT_EQ(loadString(IDS_TRANSFER_PROGRESS), "Transfer %1!d! %% completed.");
    EXPECT_EQ(loadString(IDS_TITLE_WELCOME), "Welcome");
    EXPECT_EQ(loadString(IDS_TITLE_PLAYLIST), "Playlist Selection");
}

TEST(DialogTemplates, EveryPageSharesTheWizardLayout) {
    for (int id : {IDD_FILE_SELECTION, IDD_PORT_SELECTION, IDD_DETECTION, IDD_PROGRESS,
                   IDD_OPERATION_CHOICE}) {
        SCOPED_TRACE(id);
        const DialogTemplate& t = dialog(id);
        EXPECT_EQ(t.size, (ui::Size{320, 200}));
        EXPECT_EQ(t.fontFace, "MS Sans Serif");
        EXPECT_EQ(t.fontPoints, 8);
        EXPECT_NE(t.style & ui::WS_SYSMENU, 0u);
        EXPECT_NE(t.exStyle & ui::WS_EX_APPWINDOW, 0u);
        EXPECT_EQ(t.caption, id == IDD_PORT_SELECTION ? "Tidewell 1.2" : "Tidewell");

        const auto& banner = t.controls.front();
        EXPECT_EQ(banner.kind, ControlKind::Bitmap);
        EXPECT_EQ(banner.imageId, IDB_BANNER);
        EXPECT_EQ(banner.rect, (ui::Rect{0, 0, 319, 35}));

        ASSERT_NE(control(t, IDC_TITLE), nullptr);
        EXPECT_EQ(control(t, IDC_TITLE)->rect, (ui::Rect{26, 7, 150, 12}));
        ASSERT_NE(control(t, IDC_EXPLANATION), nullptr);

        const auto* exit = control(t, ui::IDCANCEL);
        const auto* back = control(t, IDC_BACK);
        const auto* next = control(t, ui::IDOK);
        ASSERT_TRUE(exit && back && next);
        EXPECT_EQ(exit->text, "&Exit");
        EXPECT_EQ(exit->rect, (ui::Rect{7, 179, 50, 14}));
        EXPECT_EQ(back->text, "< &Back");
        EXPECT_EQ(back->rect, (ui::Rect{208, 179, 50, 14}));
        EXPECT_EQ(next->text, "&Next >");
        EXPECT_EQ(next->rect, (ui::Rect{263, 179, 50, 14}));
        EXPECT_NE(next->style & ui::BS_DEFPUSHBUTTON, 0u);

        const bool portPage = id == IDD_PORT_SELECTION;
        EXPECT_EQ((next->style & ui::WS_DISABLED) == 0, portPage) << "Next at start";
        EXPECT_EQ((back->style & ui::WS_VISIBLE) != 0, !portPage) << "Back shown";
        EXPECT_EQ((back->style & ui::WS_DISABLED) != 0, portPage) << "Back disabled";

        const auto line = std::find_if(t.controls.begin(), t.controls.end(), [](const auto& c) {
            return c.kind == ControlKind::EtchedLine;
        });
        ASSERT_NE(line, t.controls.end());
        EXPECT_EQ(line->rect, (ui::Rect{7, 170, 306, 1}));
    }
}

TEST(DialogTemplates, PageControlsSitWhereThePagesExpectThem) {
    const auto& port = dialog(IDD_PORT_SELECTION);
    EXPECT_EQ(control(port, IDC_PORT_LIST)->kind, ControlKind::DropDownList);
    EXPECT_EQ(control(port, IDC_PORT_LIST)->rect, (ui::Rect{86, 118, 172, 83}));
    EXPECT_EQ(control(port, IDC_STATUS)->rect, (ui::Rect{86, 146, 172, 19}));
    EXPECT_EQ(control(port, IDC_STATUS)->text, "");
    EXPECT_EQ(control(port, IDC_EXPLANATION)->text,
              "Connect your computer to the device using a standard serial cable and select the "
              "communication port on wich your cable is connected.");

    const auto& detection = dialog(IDD_DETECTION);
    EXPECT_EQ(control(detection, IDC_STATUS)->text, "Detecting...");
    EXPECT_EQ(control(detection, IDC_STATUS)->rect, (ui::Rect{86, 105, 172, 31}));

    const auto& choice = dialog(IDD_OPERATION_CHOICE);
    EXPECT_EQ(control(choice, IDC_EXPLANATION)->text, "Select option bellow.");
    for (int i = 0; i < IDC_OPERATION_COUNT; ++i) {
        const auto* box = control(choice, IDC_OPERATION_FIRST + i);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->kind, ControlKind::CheckBox);
        EXPECT_EQ(box->rect, (ui::Rect{97, 83 + 15 * i, 173, 10}));
        EXPECT_EQ(box->text, "Check" + std::to_string(i + 1));
        EXPECT_EQ(box->style & ui::WS_VISIBLE, 0u);
        EXPECT_NE(box->style & ui::WS_DISABLED, 0u);
    }

    const auto& progress = dialog(IDD_PROGRESS);
    EXPECT_EQ(control(progress, IDC_STATUS)->text, "Initializing...");
    EXPECT_EQ(control(progress, IDC_STATUS)->rect, (ui::Rect{88, 106, 175, 8}));
    EXPECT_EQ(control(progress, IDC_PROGRESS)->kind, ControlKind::Progress);
    EXPECT_EQ(control(progress, IDC_PROGRESS)->rect, (ui::Rect{88, 119, 175, 14}));

    const auto& file = dialog(IDD_FILE_SELECTION);
    EXPECT_EQ(control(file, IDC_EXPLANATION)->rect, (ui::Rect{84, 61, 177, 22}));
    EXPECT_EQ(control(file, IDC_EXPLANATION)->text, "Select the file you want to update.");
    EXPECT_EQ(control(file, IDC_FILE_BOX)->kind, ControlKind::Edit);
    EXPECT_EQ(control(file, IDC_FILE_BOX)->rect, (ui::Rect{85, 115, 174, 14}));
    EXPECT_NE(control(file, IDC_FILE_BOX)->style & ui::WS_DISABLED, 0u);
    EXPECT_EQ(control(file, IDC_BROWSE)->text, "Browse");
    EXPECT_EQ(control(file, IDC_BROWSE)->rect, (ui::Rect{263, 115, 35, 14}));
}

TEST(DialogTemplates, AboutBoxAndCommandBar) {
    const auto& about = dialog(IDD_ABOUTBOX);
    EXPECT_EQ(about.size, (ui::Size{178, 106}));
    EXPECT_EQ(about.caption, "About Tidewell");
    std::vector<std::string> texts;
    for (const auto& c : about.controls) {
        texts.push_back(c.text);
    }
    EXPECT_THAT(texts, testing::Contains("Tidewell Version 1.2"));
    EXPECT_NE(control(about, ui::IDOK), nullptr);

    const auto& bar = dialog(IDD_COMMAND_BAR);
    EXPECT_EQ(bar.size, (ui::Size{361, 21}));
    EXPECT_NE(bar.style & ui::WS_CHILD, 0u);
    EXPECT_EQ(bar.style & ui::WS_CAPTION, 0u);
    EXPECT_EQ(control(bar, IDC_COMMAND_EDIT)->rect, (ui::Rect{5, 3, 295, 14}));
    EXPECT_EQ(control(bar, IDC_SEND)->text, "&Send");
    EXPECT_EQ(control(bar, IDC_SEND)->rect, (ui::Rect{305, 3, 50, 14}));
    EXPECT_EQ(control(bar, IDC_SEND)->style & ui::BS_DEFPUSHBUTTON, 0u);

    EXPECT_EQ(tidewellResources().findDialog(101), nullptr);
}

const ui::MenuTemplateItem* findItem(const std::vector<ui::MenuTemplateItem>& items, int id) {
    for (const auto& item : items) {
        if ((item.flags & ui::MF_POPUP) != 0) {
            if (const auto* found = findItem(item.children, id)) {
                return found;
            }
        } else if (item.id == id && (item.flags & ui::MF_SEPARATOR) == 0) {
            return &item;
        }
    }
    return nullptr;
}

TEST(FrameResources, CommunicationMenuHasEveryItem) {
    const ui::MenuTemplate* menu = tidewellResources().findMenu(IDR_MAINFRAME);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(findItem(menu->items, ID_COMM_WIZARD)->text, "&Wizard...");
    EXPECT_EQ(findItem(menu->items, ID_COMM_CONNECT)->text, "&Connect");
    EXPECT_EQ(findItem(menu->items, ID_COMM_DISCONNECT)->text, "&Disconnect");
    for (int n = 1; n <= 16; ++n) {
        const auto* port = findItem(menu->items, 32773 + n);
        ASSERT_NE(port, nullptr) << n;
        EXPECT_EQ(port->text, "COM&" + std::to_string(n));
    }
    const std::vector<std::pair<int, std::string>> speeds = {{32790, "&2400"},  {32791, "9&600"},
                                                             {32792, "1&9200"}, {32793, "&38400"},
                                                             {32794, "&57600"}, {32795, "&115200"}};
    for (const auto& [id, text] : speeds) {
        EXPECT_EQ(findItem(menu->items, id)->text, text);
    }
    EXPECT_EQ(findItem(menu->items, ID_COMM_DETECT)->text, "De&tect");
    EXPECT_EQ(findItem(menu->items, ID_COMM_TERMINAL)->text, "Terminal");
    EXPECT_EQ(findItem(menu->items, ID_COMM_UPLOAD)->text, "&Upload");
    EXPECT_EQ(findItem(menu->items, ID_COMM_DOWNLOAD)->text, "&Download");
    EXPECT_EQ(findItem(menu->items, ui::ID_FILE_NEW)->text, "&New\tCtrl+N");
    EXPECT_EQ(findItem(menu->items, ui::ID_APP_EXIT)->text, "E&xit");
    EXPECT_EQ(findItem(menu->items, ID_VIEW_COMMAND_BAR)->text, "&Command Bar");
    EXPECT_NE(findItem(menu->items, ID_COMM_CONNECT)->flags & ui::MF_CHECKABLE, 0u);
    EXPECT_NE(findItem(menu->items, ui::ID_APP_ABOUT), nullptr);
}

TEST(FrameResources, AcceleratorsAndToolBar) {
    const auto* accel = tidewellResources().findAccelerators(IDR_MAINFRAME);
    ASSERT_NE(accel, nullptr);
    EXPECT_EQ(accel->entries.size(), 14u);
    EXPECT_THAT(accel->entries, testing::Contains(ui::Accelerator{ui::FVIRTKEY | ui::FALT,
                                                                  ui::VK_BACK, ui::ID_EDIT_UNDO}));
    EXPECT_THAT(accel->entries, testing::Contains(ui::Accelerator{ui::FVIRTKEY | ui::FSHIFT,
                                                                  ui::VK_F6, ui::ID_PREV_PANE}));

    const auto* bar = tidewellResources().findToolBar(IDR_MAINFRAME);
    ASSERT_NE(bar, nullptr);
    std::vector<int> ids;
    for (const auto& b : bar->buttons) {
        ids.push_back(b.id);
    }
    EXPECT_EQ(ids,
              (std::vector<int>{57600, 57601, 57603, 0, 57635, 57634, 57637, 0, 57607, 0, 57664}));
    EXPECT_EQ(bar->buttonSize, (ui::Size{16, 15}));
}

TEST(Art, IconAndBannerAreEmbeddedPngs) {
    const auto* icon = tidewellResources().findIcon(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    std::vector<int> sizes;
    for (const auto& image : icon->images) {
        EXPECT_EQ(ui::pngSize(image.png), image.size);
        EXPECT_EQ(image.size.cx, image.size.cy);
        sizes.push_back(image.size.cx);
    }
    EXPECT_EQ(sizes, (std::vector<int>{16, 32, 48}));

    const auto* banner = tidewellResources().findBitmap(IDB_BANNER);
    ASSERT_NE(banner, nullptr);
    ASSERT_EQ(banner->images.size(), 1u);
    const ui::Size size = banner->images[0].size;
    // Drawn over 319 x 35 dialog units: keep roughly that shape.
    EXPECT_NEAR(static_cast<double>(size.cx) / size.cy, 319.0 / 35.0 * 12.0 / 13.0, 0.5);
    EXPECT_FALSE(ui::pngSize(std::span<const std::uint8_t>()).has_value());
}

}  // namespace
}  // namespace tidewell::res
