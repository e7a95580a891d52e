#include "tidewell/cli/visible_text.h"

#include <cstdint>
#include <cstdio>

namespace tidewell::cli {

namespace {

constexpr unsigned char kTab = 0x09;
constexpr unsigned char kEscape = 0x1B;
constexpr unsigned char kDelete = 0x7F;
constexpr char32_t kFirstC1 = 0x80;
constexpr char32_t kLastC1 = 0x9F;

bool continuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte >= low && byte <= high;
}

// Length of the well-formed UTF-8 sequence at text[at] and its code point; 0 when
// the bytes there are not one.
std::size_t utf8Sequence(std::string_view text, std::size_t at, char32_t* codePoint) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (at + length > text.size() || !continuation(byte(1), low, high)) return 0;
    char32_t value = lead & (0xFF >> (length + 1));
    value = (value << 6) | (byte(1) & 0x3F);
    for (std::size_t i = 2; i < length; ++i) {
        if (!continuation(byte(i))) return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    *codePoint = value;
    return length;
}

}  // namespace

std::string visibleText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    char escape[16];
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = static_cast<unsigned char>(text[at]);
        if (byte == kEscape) {
            shown += "\\e";
        } else if ((byte < 0x20 && byte != kTab) || byte == kDelete) {
            shown += '^';
            shown += static_cast<char>(byte ^ 0x40);
        } else if (byte < 0x80) {
            shown += static_cast<char>(byte);
        } else {
            char32_t codePoint = 0;
            const std::size_t length = utf8Sequence(text, at, &codePoint);
            if (length == 0) {
                std::snprintf(escape, sizeof escape, "\\x%02x", byte);
                shown += escape;
            } else if (codePoint >= kFirstC1 && codePoint <= kLastC1) {
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(codePoint));
                shown += escape;
                at += length;
                continue;
            } else {
                shown.append(text.substr(at, length));
                at += length;
                continue;
            }
        }
        ++at;
    }
    return shown;
}

}  // namespace tidewell::cli
