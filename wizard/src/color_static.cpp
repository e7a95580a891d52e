#include "tidewell/wizard/color_static.h"

namespace tidewell {
namespace {

constexpr int kTitleFontHeight = 16;
constexpr const char* kTitleFace = "Tahoma";

}  // namespace

CColorStatic::CColorStatic() {
    font_.lfHeight = kTitleFontHeight;
    font_.lfWeight = ui::FW_BOLD;
    font_.lfCharSet = ui::DEFAULT_CHARSET;
    ui::setFaceName(font_, kTitleFace);
}

CColorStatic::~CColorStatic() {
    if (control_ != nullptr) {
        control_->SetPaintHandler({});
    }
}

void CColorStatic::bind(ui::Control& control) {
    if (control_ == &control) {
        return;
    }
    if (control_ != nullptr) {
        control_->SetPaintHandler({});
    }
    control_ = &control;
    control_->SetPaintHandler([this](ui::PaintDC& dc) { OnPaint(dc); });
}

void CColorStatic::SetWindowText(std::string_view text) {
    if (control_ != nullptr) {
        control_->SetWindowText(text);
    }
}

std::string CColorStatic::GetWindowText() const {
    return control_ != nullptr ? control_->GetWindowText() : std::string();
}

void CColorStatic::OnPaint(ui::PaintDC& dc) const {
    const ui::Rect client = dc.GetClientRect();
    const ui::LOGFONT previous = dc.SelectFont(font_);
    if (transparent_) {
        dc.SetBkMode(ui::TRANSPARENT);
    }
    dc.SetTextColor(textColour_);
    dc.DrawText(GetWindowText(), client, kDrawFormat);
    dc.SelectFont(previous);
}

}  // namespace tidewell
