#include "tidewell/ui/paint.h"

#include <algorithm>

#include "tidewell/ui/text.h"

namespace tidewell::ui {

void setFaceName(LOGFONT& font, std::string_view face) {
    const std::size_t n = std::min(face.size(), static_cast<std::size_t>(LF_FACESIZE - 1));
    std::copy_n(face.data(), n, font.lfFaceName);
    std::fill(font.lfFaceName + n, font.lfFaceName + LF_FACESIZE, '\0');
}

Point singleLineOrigin(Size extent, const Rect& rect, UINT format) {
    Point p{rect.x, rect.y};
    if ((format & DT_CENTER) != 0) {
        p.x = rect.x + (rect.cx - extent.cx) / 2;
    } else if ((format & DT_RIGHT) != 0) {
        p.x = rect.right() - extent.cx;
    }
    if ((format & DT_SINGLELINE) != 0) {
        if ((format & DT_VCENTER) != 0) {
            p.y = rect.y + (rect.cy - extent.cy) / 2;
        } else if ((format & DT_BOTTOM) != 0) {
            p.y = rect.bottom() - extent.cy;
        }
    }
    return p;
}

std::string drawTextCharacters(std::string_view text, UINT format) {
    std::string out = (format & DT_NOPREFIX) != 0 ? std::string(text) : stripMnemonics(text);
    if ((format & DT_SINGLELINE) != 0) {
        std::replace_if(
            out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    }
    return out;
}

}  // namespace tidewell::ui
