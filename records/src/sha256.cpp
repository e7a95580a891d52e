#include "tidewell/records/sha256.h"

#include <openssl/evp.h>

#include <array>
#include <stdexcept>
#include <vector>

#include "tidewell/records/input_file.h"

namespace tidewell {

namespace {

constexpr std::size_t kChunk = 64 * 1024;

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

void require(int ok, const char* what) {
    if (ok != 1) throw std::runtime_error(std::string("libcrypto: SHA-256 ") + what + " failed");
}

}  // namespace

struct Sha256::Context {
    std::unique_ptr<EVP_MD_CTX, ContextFree> evp{EVP_MD_CTX_new()};

    void start() {
        if (!evp) throw std::runtime_error("libcrypto: no digest context");
        require(EVP_DigestInit_ex(evp.get(), EVP_sha256(), nullptr), "init");
    }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    context_->start();
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
    if (!bytes.empty()) {
        require(EVP_DigestUpdate(context_->evp.get(), bytes.data(), bytes.size()), "update");
    }
}

std::string Sha256::finish() {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    require(EVP_DigestFinal_ex(context_->evp.get(), digest.data(), &length), "final");
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * length);
    for (unsigned int i = 0; i < length; ++i) {
        text.push_back(kHex[digest[i] >> 4]);
        text.push_back(kHex[digest[i] & 0x0F]);
    }
    context_->start();
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
