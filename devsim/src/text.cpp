#include "text.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tidewell::devsim {

std::string hexByte(std::uint8_t byte) {
    char buffer[5];
    std::snprintf(buffer, sizeof buffer, "0x%02X", static_cast<unsigned>(byte));
    return buffer;
}

std::string escaped(std::string_view text, std::size_t limit) {
    std::string out = "\"";
    const std::size_t shown = std::min(text.size(), limit);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            char buffer[5];
            std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    out += '"';
    if (shown < text.size()) out += "...";
    return out;
}

std::string osError(std::string_view what, int error) {
    std::string out(what);
    out += ": ";
    out += std::strerror(error);
    out += " (errno " + std::to_string(error) + ")";
    return out;
}

}  // namespace tidewell::devsim
