#include "tidewell/ui/resources.h"

#include <algorithm>
#include <array>

namespace tidewell::ui {
namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kIhdrWidthOffset = 16;
constexpr std::size_t kIhdrMinimumSize = 24;

int readBigEndian32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<int>(
        (std::uint32_t{bytes[offset]} << 24) | (std::uint32_t{bytes[offset + 1]} << 16) |
        (std::uint32_t{bytes[offset + 2]} << 8) | std::uint32_t{bytes[offset + 3]});
}

}  // namespace

std::optional<Size> pngSize(std::span<const std::uint8_t> png) {
    if (png.size() < kIhdrMinimumSize ||
        !std::equal(kPngSignature.begin(), kPngSignature.end(), png.begin()) ||
        !std::equal(png.begin() + 12, png.begin() + 16, std::string_view("IHDR").begin())) {
        return std::nullopt;
    }
    return Size{readBigEndian32(png, kIhdrWidthOffset), readBigEndian32(png, kIhdrWidthOffset + 4)};
}

}  // namespace tidewell::ui
