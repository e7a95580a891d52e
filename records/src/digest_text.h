// A digest as the records write it, for each platform's SHA-256.
#pragma once

#include <span>
#include <string>

namespace tidewell::records {

// Lowercase hexadecimal, two digits a byte.
std::string digestText(std::span<const unsigned char> digest);

}  // namespace tidewell::records
