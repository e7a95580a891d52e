// Painting of owner-drawn controls: a font description, a device context with
// the few operations a control's paint handler uses, and the single-line text
// layout both backends share.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tidewell/ui/types.h"

namespace tidewell::ui {

inline constexpr int LF_FACESIZE = 32;

// Font description with the classic field names. lfHeight > 0 is the character
// cell height in pixels. A face that is not installed is replaced by the
// toolkit's sans-serif face with the same weight and style.
struct LOGFONT {
    int lfHeight = 0;
    int lfWidth = 0;
    int lfEscapement = 0;
    int lfOrientation = 0;
    int lfWeight = 0;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    char lfFaceName[LF_FACESIZE] = {};
};

// Copies a face name into lfFaceName, cut to fit and always terminated.
void setFaceName(LOGFONT& font, std::string_view face);

// Device context handed to a control's paint handler for one paint. Coordinates
// are pixels relative to the control; drawing is clipped to the control.
// The selected font lives until the end of the paint (or the next SelectFont).
class PaintDC {
  public:
    virtual ~PaintDC() = default;
    virtual Rect GetClientRect() const = 0;
    // Selects a font built from the description; returns the previous description.
    virtual LOGFONT SelectFont(const LOGFONT& font) = 0;
    virtual int SetBkMode(int mode) = 0;  // TRANSPARENT or OPAQUE; returns the previous mode
    virtual COLORREF SetTextColor(COLORREF colour) = 0;
    virtual COLORREF SetBkColor(COLORREF colour) = 0;
    virtual void FillSolidRect(const Rect& rect, COLORREF colour) = 0;
    // Draws text in rect with DT_* format flags; returns the height of the text drawn.
    virtual int DrawText(std::string_view text, const Rect& rect, UINT format) = 0;
};

// Where one line of text of the given extent goes in rect under DT_* flags
// (horizontal: DT_LEFT, DT_CENTER, DT_RIGHT; vertical with DT_SINGLELINE: top,
// DT_VCENTER, DT_BOTTOM). The caller clips to rect: a line wider than rect is cut
// at the right edge, never wrapped.
Point singleLineOrigin(Size extent, const Rect& rect, UINT format);

// The characters DrawText shows: without DT_NOPREFIX, '&' marks a mnemonic and
// "&&" shows one '&'; with it the text is shown as it stands. Line breaks are
// shown as spaces under DT_SINGLELINE.
std::string drawTextCharacters(std::string_view text, UINT format);

}  // namespace tidewell::ui
