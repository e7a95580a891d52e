// Small text helpers for log lines.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tidewell::devsim {

// Printable ASCII as is, '"' and '\\' escaped, anything else as \xNN;
// longer texts are cut after limit bytes with "..." appended.
std::string escaped(std::string_view text, std::size_t limit = 200);

std::string hexByte(std::uint8_t byte);

// "<what>: <strerror> (errno N)"
std::string osError(std::string_view what, int error);

}  // namespace tidewell::devsim
