#include "tidewell/records/sha256.h"

#include <vector>

#include "digest_text.h"
#include "tidewell/records/input_file.h"

namespace tidewell {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

std::string records::digestText(std::span<const unsigned char> digest) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * digest.size());
    for (const unsigned char byte : digest) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 0x0F]);
    }
    return text;
}

std::string sha256Hex(std::span<const std::uint8_t> bytes) {
    Sha256 digest;
    digest.update(bytes);
    return digest.finish();
}

std::string sha256Hex(std::string_view bytes) {
    return sha256Hex(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

std::optional<FileDigest> digestFile(const std::filesystem::path& path, std::string* why) {
    auto file = records::InputFile::open(path, why);
    if (!file) return std::nullopt;
    Sha256 digest;
    std::vector<std::uint8_t> buffer(kChunk);
    FileDigest result;
    for (;;) {
        const auto got = file->read(buffer.data(), buffer.size(), why);
        if (!got) return std::nullopt;
        digest.update(std::span(buffer.data(), *got));
        result.size += *got;
        if (*got < buffer.size()) break;
    }
    result.sha256 = digest.finish();
    return result;
}

bool isSha256Hex(std::string_view text) {
    if (text.size() != kSha256HexLength) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

}  // namespace tidewell
