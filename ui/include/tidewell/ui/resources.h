// Resource data the windowing layer builds windows from: dialog templates in
// dialog units, strings, menus, accelerator tables, tool bars and images.
//
// The data itself lives elsewhere (an application's resource library); the layer
// reaches it through one ResourceSet handed to the Platform.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ui/types.h"

namespace tidewell::ui {

enum class ControlKind {
    Label,         // static text
    Bitmap,        // static picture showing a bitmap resource, stretched to its rectangle
    Icon,          // static picture showing an icon resource at its natural size
    EtchedLine,    // horizontal separator line
    PushButton,    // BS_DEFPUSHBUTTON in the style marks the default button
    CheckBox,      // automatic check box: a click toggles the mark
    Edit,          // single- or multi-line edit field
    DropDownList,  // drop-down list without typing
    Progress,      // progress bar
};

// What assistive technology is told a control is, where its kind does not say it.
enum class AccessibleRole {
    Default,
    Heading,  // a page's title
    Status,   // text that reports what is happening; it labels no other control
};

struct ControlTemplate {
    int id = IDC_STATIC;
    ControlKind kind = ControlKind::Label;
    Rect rect;  // dialog units
    std::string text;
    UINT style =
        WS_VISIBLE;   // WS_VISIBLE, WS_DISABLED, WS_TABSTOP, WS_BORDER, WS_VSCROLL, kind bits
    int imageId = 0;  // Bitmap and Icon kinds
    AccessibleRole role = AccessibleRole::Default;
};

struct DialogTemplate {
    int id = 0;
    Size size;  // dialog units
    UINT style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    UINT exStyle = 0;
    std::string caption;
    std::string fontFace;
    int fontPoints = 8;
    std::vector<ControlTemplate> controls;
};

struct MenuTemplateItem {
    std::string text;  // "&File", "&New\tCtrl+N"; empty for a separator
    int id = 0;
    UINT flags = MF_STRING;  // MF_SEPARATOR, MF_POPUP, MF_CHECKABLE, MF_GRAYED, MF_CHECKED
    std::vector<MenuTemplateItem> children;
};

struct MenuTemplate {
    int id = 0;
    std::vector<MenuTemplateItem> items;  // the menu bar's popups
};

struct Accelerator {
    std::uint8_t fVirt = FVIRTKEY;  // FVIRTKEY | FSHIFT | FCONTROL | FALT
    UINT key = 0;                   // virtual key: 'A'..'Z', '0'..'9', VK_*
    int cmd = 0;
    friend bool operator==(const Accelerator&, const Accelerator&) = default;
};

struct AcceleratorTable {
    int id = 0;
    std::vector<Accelerator> entries;
};

struct ToolBarButton {
    int id = ID_SEPARATOR;  // ID_SEPARATOR for a gap
    std::string art;        // stock picture name: new, open, save, cut, copy, paste, print, help
    std::string tip;        // tool tip
};

struct ToolBarTemplate {
    int id = 0;
    Size buttonSize;  // pixels
    std::vector<ToolBarButton> buttons;
};

// A picture as PNG bytes; an icon may come in several sizes.
struct ImageData {
    std::span<const std::uint8_t> png;
    Size size;  // pixels, as stored in the PNG header
};

struct ImageResource {
    int id = 0;
    std::vector<ImageData> images;  // one for a bitmap, one per size for an icon
};

// Read-only access to an application's resources. Lookups return null or
// nothing for an unknown id. Implementations are immutable and thread-safe.
class ResourceSet {
  public:
    virtual ~ResourceSet() = default;
    virtual const DialogTemplate* findDialog(int id) const = 0;
    virtual std::optional<std::string_view> findString(int id) const = 0;
    virtual const MenuTemplate* findMenu(int id) const = 0;
    virtual const AcceleratorTable* findAccelerators(int id) const = 0;
    virtual const ToolBarTemplate* findToolBar(int id) const = 0;
    virtual const ImageResource* findBitmap(int id) const = 0;
    virtual const ImageResource* findIcon(int id) const = 0;
};

// Size in pixels read from a PNG's header; nothing when the bytes are not a PNG.
std::optional<Size> pngSize(std::span<const std::uint8_t> png);

}  // namespace tidewell::ui
