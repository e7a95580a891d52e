// A PaintDC over a wx device context, for owner-drawn controls.
#pragma once

#include <wx/dc.h>

#include <optional>

#include "tidewell/ui/paint.h"

namespace tidewell::ui::wxb {

// The wx font for a LOGFONT: its face when installed, otherwise the sans face;
// a positive height is the character cell in pixels.
wxFont fontFor(const LOGFONT& font, wxDC& dc);

class WxPaintDC : public PaintDC {
  public:
    // Draws into dc with (0, 0) at origin, clipped to a size x size area.
    WxPaintDC(wxDC& dc, wxPoint origin, wxSize size);
    ~WxPaintDC() override;

    Rect GetClientRect() const override;
    LOGFONT SelectFont(const LOGFONT& font) override;
    int SetBkMode(int mode) override;
    COLORREF SetTextColor(COLORREF colour) override;
    COLORREF SetBkColor(COLORREF colour) override;
    void FillSolidRect(const Rect& rect, COLORREF colour) override;
    int DrawText(std::string_view text, const Rect& rect, UINT format) override;

  private:
    wxRect toDevice(const Rect& rect) const;

    wxDC& dc_;
    wxPoint origin_;
    wxSize size_;
    LOGFONT font_{};
    wxFont previousFont_;
    int mode_ = OPAQUE;
    COLORREF text_ = 0;
    COLORREF back_ = RGB(255, 255, 255);
};

}  // namespace tidewell::ui::wxb
