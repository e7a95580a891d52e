// CColorStatic: the title text of a wizard page (control 1014), bold white
// "Tahoma" drawn straight onto the banner, one line, vertically centred, an
// ampersand shown as itself. A bold sans face stands in where Tahoma is not
// installed. The control only paints; its text is set by the page.
#pragma once

#include <string>
#include <string_view>

#include "tidewell/ui/control.h"
#include "tidewell/ui/paint.h"
#include "tidewell/ui/types.h"

namespace tidewell {

class CColorStatic {
  public:
    static constexpr ui::COLORREF kTextColour = 0xFFFFFF;
    static constexpr ui::COLORREF kBackColour = 0x000000;
    static constexpr ui::UINT kDrawFormat = ui::DT_SINGLELINE | ui::DT_VCENTER | ui::DT_NOPREFIX;

    CColorStatic();
    ~CColorStatic();
    CColorStatic(const CColorStatic&) = delete;
    CColorStatic& operator=(const CColorStatic&) = delete;

    // Attaches to a page's control (from the page's DoDataExchange): the control
    // is painted by OnPaint from now on. Binding again moves to the new control.
    void bind(ui::Control& control);
    bool isBound() const { return control_ != nullptr; }
    ui::Control* control() const { return control_; }

    // The control's text (nothing happens while unbound).
    void SetWindowText(std::string_view text);
    std::string GetWindowText() const;

    // Paints the control's text with the font below into dc.
    void OnPaint(ui::PaintDC& dc) const;

    const ui::LOGFONT& fontDescription() const { return font_; }
    bool isTransparent() const { return transparent_; }
    ui::COLORREF textColour() const { return textColour_; }
    ui::COLORREF backColour() const { return backColour_; }

  private:
    bool transparent_ = true;
    ui::COLORREF textColour_ = kTextColour;
    ui::COLORREF backColour_ = kBackColour;
    ui::LOGFONT font_{};
    ui::Control* control_ = nullptr;
};

}  // namespace tidewell
