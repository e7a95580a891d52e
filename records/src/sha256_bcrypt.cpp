// Windows: SHA-256 through the system's CNG (BCrypt) interface.
#include <windows.h>
// clang-format off
#include <bcrypt.h>
// clang-format on

#include <array>
#include <stdexcept>

#include "digest_text.h"
#include "tidewell/records/sha256.h"

namespace tidewell {

namespace {

constexpr std::size_t kDigestLength = 32;

void require(NTSTATUS status, const char* what) {
    if (status < 0) throw std::runtime_error(std::string("BCrypt: SHA-256 ") + what + " failed");
}

}  // namespace

struct Sha256::Context {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;

    Context() {
        require(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
                "provider");
    }
    ~Context() {
        if (hash) ::BCryptDestroyHash(hash);
        if (algorithm) ::BCryptCloseAlgorithmProvider(algorithm, 0);
    }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    void start() {
        if (hash) ::BCryptDestroyHash(hash);
        hash = nullptr;
        require(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0), "init");
    }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
    context_->start();
}

Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
    // BCryptHashData takes a 32-bit length.
    constexpr std::size_t kLargest = 0x40000000;
    while (!bytes.empty()) {
        const auto part = bytes.first(std::min(bytes.size(), kLargest));
        require(::BCryptHashData(context_->hash, const_cast<PUCHAR>(part.data()),
                                 static_cast<ULONG>(part.size()), 0),
                "update");
        bytes = bytes.subspan(part.size());
    }
}

std::string Sha256::finish() {
    std::array<unsigned char, kDigestLength> digest{};
    require(::BCryptFinishHash(context_->hash, digest.data(), kDigestLength, 0), "final");
    std::string text = records::digestText(digest);
    context_->start();
    return text;
}

}  // namespace tidewell
