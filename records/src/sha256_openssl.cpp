// SHA-256 through libcrypto's EVP interface.
#include <openssl/evp.h>

#include <array>
#include <stdexcept>

#include "digest_text.h"
#include "tidewell/records/sha256.h"

namespace tidewell {

namespace {

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
    std::string text = records::digestText(std::span(digest.data(), length));
    context_->start();
    return text;
}

}  // namespace tidewell
