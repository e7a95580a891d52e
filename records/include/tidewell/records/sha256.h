// SHA-256 of bytes and of files, computed by OpenSSL's EVP interface (libcrypto).
// A digest is written as 64 lowercase hexadecimal digits.
//
// Files are read in chunks (constant memory, any size); only a regular file is read,
// and opening never blocks: a FIFO or a device node in its place is refused with a
// reason. Should libcrypto refuse SHA-256 itself (a broken installation), the
// functions throw std::runtime_error.
//
// Thread safety: every function may be called from any thread; one Sha256 object
// from one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tidewell {

inline constexpr std::size_t kSha256HexLength = 64;

// An incremental digest, for data that passes through in parts. A moved-from object
// may only be assigned to or destroyed.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(Sha256&&) noexcept;
    Sha256& operator=(Sha256&&) noexcept;

    void update(std::span<const std::uint8_t> bytes);
    // The digest of everything given so far; the object starts afresh afterwards.
    std::string finish();

  private:
    struct Context;
    std::unique_ptr<Context> context_;
};

std::string sha256Hex(std::span<const std::uint8_t> bytes);
std::string sha256Hex(std::string_view bytes);

struct FileDigest {
    std::uint64_t size = 0;  // bytes read, the ones the digest covers
    std::string sha256;
};

// Nothing, and *why naming the file and the reason, when it cannot be opened or read.
std::optional<FileDigest> digestFile(const std::filesystem::path& path, std::string* why = nullptr);

// True for 64 lowercase hexadecimal digits.
bool isSha256Hex(std::string_view text);

}  // namespace tidewell
