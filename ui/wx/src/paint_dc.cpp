#include "paint_dc.h"

#include <wx/dcclient.h>
#include <wx/fontenum.h>

#include <algorithm>

namespace tidewell::ui::wxb {
namespace {

constexpr int kBoldFrom = 600;

wxColour colourOf(COLORREF c) {
    return wxColour(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

wxFont fontFor(const LOGFONT& font, wxDC& dc) {
    const wxString face = wxString::FromUTF8(font.lfFaceName);
    const bool installed = !face.empty() && wxFontEnumerator::IsValidFacename(face);
    const auto describe = [&](wxFontInfo info) {
        if (installed) {
            info.FaceName(face);
        } else {
            info.Family(wxFONTFAMILY_SWISS);
        }
        info.Bold(font.lfWeight >= kBoldFrom)
            .Italic(font.lfItalic != 0)
            .Underlined(font.lfUnderline != 0)
            .Strikethrough(font.lfStrikeOut != 0);
        return wxFont(info);
    };
    if (font.lfHeight == 0) {
        return describe(wxFontInfo());
    }
    const int wanted = std::abs(font.lfHeight);
    wxFont made = describe(wxFontInfo(wxSize(0, wanted)));
    if (font.lfHeight > 0) {
        // A positive height is the whole character cell: shrink the em to fit it.
        const wxFont previous = dc.GetFont();
        dc.SetFont(made);
        const int cell = dc.GetCharHeight();
        dc.SetFont(previous);
        if (cell > wanted) {
            made = describe(wxFontInfo(wxSize(0, std::max(1, wanted * wanted / cell))));
        }
    }
    return made;
}

WxPaintDC::WxPaintDC(wxDC& dc, wxPoint origin, wxSize size)
    : dc_(dc), origin_(origin), size_(size), previousFont_(dc.GetFont()) {
    dc_.SetClippingRegion(wxRect(origin_, size_));
    dc_.SetBackgroundMode(wxBRUSHSTYLE_SOLID);
}

WxPaintDC::~WxPaintDC() {
    dc_.DestroyClippingRegion();
    dc_.SetFont(previousFont_);
}

Rect WxPaintDC::GetClientRect() const {
    return {0, 0, size_.x, size_.y};
}

wxRect WxPaintDC::toDevice(const Rect& rect) const {
    return {origin_.x + rect.x, origin_.y + rect.y, rect.cx, rect.cy};
}

LOGFONT WxPaintDC::SelectFont(const LOGFONT& font) {
    const LOGFONT previous = font_;
    font_ = font;
    dc_.SetFont(fontFor(font, dc_));
    return previous;
}

int WxPaintDC::SetBkMode(int mode) {
    dc_.SetBackgroundMode(mode == TRANSPARENT ? wxBRUSHSTYLE_TRANSPARENT : wxBRUSHSTYLE_SOLID);
    return std::exchange(mode_, mode);
}

COLORREF WxPaintDC::SetTextColor(COLORREF colour) {
    dc_.SetTextForeground(colourOf(colour));
    return std::exchange(text_, colour);
}

COLORREF WxPaintDC::SetBkColor(COLORREF colour) {
    dc_.SetTextBackground(colourOf(colour));
    return std::exchange(back_, colour);
}

void WxPaintDC::FillSolidRect(const Rect& rect, COLORREF colour) {
    dc_.SetBrush(wxBrush(colourOf(colour)));
    dc_.SetPen(*wxTRANSPARENT_PEN);
    dc_.DrawRectangle(toDevice(rect));
}

int WxPaintDC::DrawText(std::string_view text, const Rect& rect, UINT format) {
    const std::string chars = drawTextCharacters(text, format);
    const wxString shown = wxString::FromUTF8(chars.data(), chars.size());
    wxCoord width = 0;
    wxCoord height = 0;
    dc_.GetMultiLineTextExtent(shown, &width, &height);
    const Point at = singleLineOrigin({width, height}, rect, format);
    wxDCClipper clip(dc_, toDevice(rect));
    dc_.DrawText(shown, origin_.x + at.x, origin_.y + at.y);
    return height;
}

}  // namespace tidewell::ui::wxb
