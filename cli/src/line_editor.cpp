#include "line_editor.h"

#include <utility>

namespace tidewell::cli {

namespace {

constexpr char16_t kBackspace = 0x08;
constexpr char16_t kCtrlZ = 0x1A;
constexpr char16_t kDelete = 0x7F;

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit < 0xDC00;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit < 0xE000;
}
bool isUtf8Continuation(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

std::string utf8(char32_t c) {
    std::string bytes;
    if (c < 0x80) {
        bytes += static_cast<char>(c);
    } else if (c < 0x800) {
        bytes += static_cast<char>(0xC0 | (c >> 6));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        bytes += static_cast<char>(0xE0 | (c >> 12));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        bytes += static_cast<char>(0xF0 | (c >> 18));
        bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
    return bytes;
}

}  // namespace

void LineEditor::type(char16_t unit) {
    if (ended_) return;
    const bool lineFeedAfterReturn = unit == u'\n' && afterCarriageReturn_;
    afterCarriageReturn_ = unit == u'\r';
    if (lineFeedAfterReturn) return;
    if (unit == u'\r' || unit == u'\n') return finishLine();
    if (unit == kBackspace) return eraseLast();
    if (unit == kCtrlZ) {
        if (line_.empty()) {
            echo_ += "^Z\r\n";
            ended_ = true;
        } else if (!endAtEnter_) {
            echo_ += "^Z";
            endAtEnter_ = true;
        }
        return;
    }
    if (endAtEnter_) return;
    if (isHighSurrogate(unit)) {
        highSurrogate_ = unit;
        return;
    }
    const char16_t high = std::exchange(highSurrogate_, 0);
    if (isLowSurrogate(unit)) {
        if (high != 0) append(0x10000 + ((char32_t{high} - 0xD800) << 10) + (unit - 0xDC00));
        return;
    }
    if (unit >= 0x20 && unit != kDelete) append(unit);
}

void LineEditor::finishLine() {
    echo_ += "\r\n";
    lines_ += line_ + '\n';
    line_.clear();
    highSurrogate_ = 0;
    ended_ = endAtEnter_;
}

void LineEditor::eraseLast() {
    highSurrogate_ = 0;
    if (endAtEnter_) {
        endAtEnter_ = false;
        echo_ += "\b\b  \b\b";
        return;
    }
    if (line_.empty()) return;
    while (line_.size() > 1 && isUtf8Continuation(line_.back())) line_.pop_back();
    line_.pop_back();
    echo_ += "\b \b";
}

void LineEditor::append(char32_t character) {
    const std::string bytes = utf8(character);
    line_ += bytes;
    echo_ += bytes;
}

std::string LineEditor::takeEcho() {
    return std::exchange(echo_, {});
}

std::string LineEditor::takeLines() {
    return std::exchange(lines_, {});
}

}  // namespace tidewell::cli
