// Whole files for tests: reading, writing, test data, and waiting for text.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::testsupport {

using Millis = std::chrono::milliseconds;

// The file's bytes; empty when it cannot be read (not there yet).
std::string readFile(const std::filesystem::path& path);
// Creates the parent folders too; throws naming the file when it cannot be written.
void writeFile(const std::filesystem::path& path, std::string_view bytes);
// count pseudo-random bytes, the same for the same seed.
std::string randomBytes(std::size_t count, std::uint32_t seed);
// The names in folder, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);
// Polls until the file holds text or the limit passes.
bool waitForText(const std::filesystem::path& file, std::string_view text, Millis limit);

}  // namespace tidewell::testsupport
