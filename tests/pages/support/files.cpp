#include "files.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tidewell::pages::testing {

namespace fs = std::filesystem;

namespace {

constexpr Millis kPollStep{5};

}  // namespace

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (auto& byte : bytes) {
        byte = static_cast<char>(random() & 0xFFu);
    }
    return bytes;
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool waitForText(const fs::path& file, std::string_view text, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

std::string devsimProgram() {
    return TIDEWELL_DEVSIM;
}

Devsim::Devsim(const fs::path& folder, const std::vector<std::string>& options) {
    testsupport::DevsimOptions devsim;
    devsim.program = devsimProgram();
    devsim.link = folder / "tty";
    devsim.store = folder / "store";
    devsim.log = folder / "devsim.log";
    devsim.stderrFile = folder / "devsim.err";
    devsim.extra = options;
    fs::create_directories(devsim.store);
    process_ = std::make_unique<testsupport::DevsimProcess>(devsim);
}

}  // namespace tidewell::pages::testing
