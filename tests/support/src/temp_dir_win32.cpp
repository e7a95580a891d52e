// Windows has no mkdtemp: a random name, created exclusively by create_directory.
#include <random>
#include <system_error>

#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::testsupport {

TempDir::TempDir(std::string_view prefix) {
    std::mt19937_64 random(std::random_device{}());
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate =
            base / (std::string(prefix) + "-" + std::to_string(random() % 1000000007));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
        if (ec) throw std::system_error(ec, "create " + candidate.string());
    }
    throw std::runtime_error("no free name for a temporary folder under " + base.string());
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

}  // namespace tidewell::testsupport
