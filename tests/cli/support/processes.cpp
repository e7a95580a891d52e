#include "processes.h"

#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace tidewell::cli::testing {

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
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string randomBytes(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(random() & 0xFFu);
    return bytes;
}

bool waitForText(const fs::path& file, std::string_view text, Millis limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (readFile(file).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kPollStep);
    }
    return true;
}

namespace {

testsupport::DevsimOptions devsimOptions(const fs::path& folder,
                                         const std::vector<std::string>& extra) {
    testsupport::DevsimOptions options;
    options.program = TIDEWELL_DEVSIM;
    options.link = folder / "tty";
    options.store = folder / "store";
    options.log = folder / "devsim.log";
    options.stderrFile = folder / "devsim.err";
    options.extra = extra;
    return options;
}

}  // namespace

Devsim::Devsim(const fs::path& folder, const std::vector<std::string>& extra)
    : process_(devsimOptions(folder, extra)) {}

CliRun runCli(const fs::path& folder, const std::vector<std::string>& args,
              const CliExtras& extras) {
    SpawnOptions options;
    options.args = {TIDEWELL_CLI};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"XDG_CONFIG_HOME=" + (folder / "config").string()};
    options.stdinFile = folder / "cli.in";
    options.stdoutFile = folder / "cli.out";
    options.stderrFile = folder / "cli.err";
    options.fileSizeLimit = extras.fileSizeLimit;
    writeFile(options.stdinFile, extras.input);
    Child child(options);
    CliRun run;
    run.status = child.wait(extras.limit).value_or(-1);
    run.out = readFile(options.stdoutFile);
    run.err = readFile(options.stderrFile);
    return run;
}

std::unique_ptr<Child> startCli(const fs::path& folder, const std::vector<std::string>& args) {
    SpawnOptions options;
    options.args = {TIDEWELL_CLI};
    options.args.insert(options.args.end(), args.begin(), args.end());
    options.env = {"XDG_CONFIG_HOME=" + (folder / "config").string()};
    options.stdoutFile = folder / "cli.out";
    options.stderrFile = folder / "cli.err";
    return std::make_unique<Child>(options);
}

}  // namespace tidewell::cli::testing
