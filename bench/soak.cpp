// Soak run: many update, backup and restore cycles of tidewell-cli against tidewell-devsim on
// a noisy line (bit error rates 1e-5 and 1e-4, alternating per block of cycles) with random
// hang-ups, counting the transfers that ended byte-exact, those that failed and said so (a
// non-zero status), and silent corruptions (status 0, yet the bytes at the other end differ).
// Reports tidewell-cli's peak memory per run (the worker lives inside it) at the start and the
// end, and each device's memory when it started and when it was stopped.
//
// Updates and restores are run with --verify (the device file read back and compared) when
// tidewell-cli's --help offers that option.
//
// Usage: tidewell-soak [--cycles N] [--seed N] [--block N] [--keep DIR]
// SIGINT or SIGTERM ends the run after the cycle in progress, with the report so far.
// The status is 1 when a silent corruption was seen. Each run's status and message go to
// runs.log in the work folder (kept with --keep), beside the devices' event logs.
#include <sys/types.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/testsupport/child_process.h"
#include "tidewell/testsupport/devsim_process.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::bench {
namespace {

namespace fs = std::filesystem;
using testsupport::ChildProcess;
using testsupport::DevsimOptions;
using testsupport::DevsimProcess;
using testsupport::Millis;
using testsupport::readFile;
using testsupport::SpawnOptions;
using testsupport::writeFile;

constexpr std::size_t kPacket = 1024;
constexpr char kHostPad = 0x00;              // what tidewell pads its last packet with
constexpr char kDevicePad = 0x1A;            // what the device pads its last packet with
constexpr std::size_t kMaxFile = 12 * 1024;  // at 1e-4 most packets need a few sends
constexpr Millis kRunLimit{300000};
// Bytes the host sends in one cycle, roughly; hang-ups are drawn within a few cycles of it.
constexpr std::uint64_t kHostBytesPerCycle = 60 * 1024;
constexpr std::uint64_t kDeviceBytesPerCycle = 30 * 1024;

struct Settings {
    int cycles = 300;
    int block = 5;
    std::uint32_t seed = 1;
    fs::path keep;
};

// SIGINT or SIGTERM: stop after the cycle in progress and report what was seen.
volatile std::sig_atomic_t stopRequested = 0;

struct Tally {
    int exact = 0;
    int failed = 0;
    int silent = 0;
    std::map<int, int> statuses;  // exit status of the failed runs
    std::vector<std::string> silentNotes;
};

std::string padded(std::string bytes, char pad) {
    bytes.append((kPacket - bytes.size() % kPacket) % kPacket, pad);
    return bytes;
}

// VmRSS of a running process in KiB, or -1.
long residentKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

class Soak {
  public:
    explicit Soak(const Settings& settings)
        : settings_(settings),
          random_(settings.seed),
          root_(settings.keep.empty() ? scratch_->path() : settings.keep) {
        fs::create_directories(root_ / "store");
        fs::create_directories(root_ / "backups");
        fs::create_directories(root_ / "config");
        writeFile(root_ / "store" / "setting", randomBytes(5000));
    }

    int run() {
        const auto started = std::chrono::steady_clock::now();
        int cycle = 0;
        for (; cycle < settings_.cycles && !stopRequested; ++cycle) {
            if (cycle % settings_.block == 0) startDevice(cycle / settings_.block, true);
            if (!fs::exists(link())) startDevice(cycle / settings_.block, false);
            transfer(Job::update, cycle);
            transfer(Job::backup, cycle);
            transfer(Job::restore, cycle);
            if ((cycle + 1) % 25 == 0) {
                std::fprintf(stderr, "%d cycles: %d exact, %d failed and said so, %d silent\n",
                             cycle + 1, tally_.exact, tally_.failed, tally_.silent);
            }
        }
        stopDevice();
        report(cycle, std::chrono::steady_clock::now() - started);
        return tally_.silent == 0 ? 0 : 1;
    }

  private:
    enum class Job { update, backup, restore };

    fs::path link() const { return root_ / "tty"; }

    std::string randomBytes(std::size_t size) {
        std::string bytes(size, '\0');
        for (auto& byte : bytes) byte = static_cast<char>(random_() & 0xFF);
        return bytes;
    }

    // A new device; with `block`, for a new block of cycles that may end in a hang-up.
    void startDevice(int blockIndex, bool block) {
        stopDevice();
        rate_ = blockIndex % 2 == 0 ? "1e-5" : "1e-4";
        std::vector<std::string> extra{"--bit-error-rate", rate_, "--seed",
                                       std::to_string(random_() % 1000000 + 1)};
        if (block && random_() % 3 == 0) {
            const std::uint64_t cycles = static_cast<std::uint64_t>(settings_.block);
            if (random_() % 2 == 0) {
                extra.push_back("--hangup-at");
                extra.push_back(std::to_string(random_() % (kHostBytesPerCycle * cycles) + 1));
            } else {
                extra.push_back("--hangup-at-sent");
                extra.push_back(std::to_string(random_() % (kDeviceBytesPerCycle * cycles) + 1));
            }
            ++hangupsPlanned_;
        }
        DevsimOptions options;
        options.program = TIDEWELL_DEVSIM_PROGRAM;
        options.link = link();
        options.store = root_ / "store";
        options.log = root_ / ("devsim-" + std::to_string(++devices_) + ".log");
        options.extra = extra;
        device_ = std::make_unique<DevsimProcess>(options);
        deviceStartKib_ = -1;
    }

    void stopDevice() {
        if (!device_) return;
        const long end = residentKib(device_->child().pid());
        if (end >= 0) devicesKib_.push_back({deviceStartKib_, end});
        device_.reset();
        std::error_code ignored;
        fs::remove(link(), ignored);
    }

    // The device's last "transfer ..." line: which file it took the command line for.
    std::string lastTransferLine() const {
        std::ifstream log(root_ / ("devsim-" + std::to_string(devices_) + ".log"));
        std::string line;
        std::string last = "(no transfer)";
        while (std::getline(log, line)) {
            if (line.find(" transfer download ") != std::string::npos ||
                line.find(" transfer upload ") != std::string::npos) {
                last = line.substr(line.find_first_not_of(' '));
            }
        }
        return last;
    }

    int runCli(const std::vector<std::string>& args, const fs::path& output) {
        SpawnOptions spawn;
        spawn.args = {TIDEWELL_CLI_PROGRAM, "--port", link().string(), "--timeout", "5", "--quiet"};
        spawn.args.insert(spawn.args.end(), args.begin(), args.end());
        spawn.env = {"XDG_CONFIG_HOME=" + (root_ / "config").string()};
        spawn.stdoutFile = output;
        spawn.stderrFile = root_ / "cli-stderr.txt";
        ChildProcess cli(spawn);
        const auto status = cli.wait(kRunLimit);
        if (!status) return -1;
        if (const auto peak = cli.peakRssKib()) cliKib_.push_back(*peak);
        if (device_ && deviceStartKib_ < 0) deviceStartKib_ = residentKib(device_->child().pid());
        return *status;
    }

    void transfer(Job job, int cycle) {
        const fs::path store = root_ / "store";
        const fs::path out = root_ / "stdout.txt";
        int status = 0;
        std::string expected;
        fs::path result;
        std::string what;
        switch (job) {
            case Job::update: {
                const std::string package = randomBytes(random_() % kMaxFile);
                writeFile(root_ / "firmware.pkg", package);
                std::error_code ignored;
                fs::remove(store / "flashimage", ignored);
                status = runCli({"update", (root_ / "firmware.pkg").string(), "--verify"}, out);
                expected = padded(package, kHostPad);
                result = store / "flashimage";
                what = "update";
                break;
            }
            case Job::backup: {
                expected = padded(readFile(store / "setting"), kDevicePad);
                status = runCli({"backup", "setting", "--dir", (root_ / "backups").string()}, out);
                std::string path = readFile(out);
                while (!path.empty() && path.back() == '\n') path.pop_back();
                result = path;
                what = "backup";
                break;
            }
            case Job::restore: {
                const std::string backup = randomBytes(random_() % kMaxFile + 1);
                writeFile(root_ / "restore.bak", backup);
                writeFile(store / "setting", "not restored yet");
                status = runCli(
                    {"restore", "setting", (root_ / "restore.bak").string(), "--verify"}, out);
                expected = padded(backup, kHostPad);
                result = store / "setting";
                what = "restore";
                break;
            }
        }
        std::string said = readFile(root_ / "cli-stderr.txt");
        said = said.substr(0, said.find('\n'));
        std::ofstream(root_ / "runs.log", std::ios::app)
            << "cycle " << cycle + 1 << " " << what << " device " << devices_ << " status "
            << status << (said.empty() ? "" : ": ") << said << "\n";
        if (status != 0) {
            ++tally_.failed;
            ++tally_.statuses[status];
        } else if (!result.empty() && readFile(result) == expected) {
            ++tally_.exact;
        } else {
            ++tally_.silent;
            tally_.silentNotes.push_back("cycle " + std::to_string(cycle + 1) + " " + what +
                                         " at rate " + rate_ +
                                         "; the device logged: " + lastTransferLine());
        }
        if (job == Job::backup) {
            for (const auto& entry : fs::directory_iterator(root_ / "backups")) {
                fs::remove(entry.path());
            }
        }
        if (job == Job::restore && status != 0) {
            // Leave a device file that backups can fetch.
            writeFile(store / "setting", randomBytes(5000));
        }
    }

    void report(int cycles, std::chrono::steady_clock::duration took) const {
        const int total = tally_.exact + tally_.failed + tally_.silent;
        std::printf(
            "soak: %d cycles, %d transfers in %.0f s; %d devices (%d with a hang-up "
            "planned)\n",
            cycles, total, std::chrono::duration<double>(took).count(), devices_, hangupsPlanned_);
        std::printf("  updates and restores    with --verify\n");
        std::printf("  byte-exact              %d\n", tally_.exact);
        std::printf("  failed and said so      %d  (exit status: count", tally_.failed);
        for (const auto& [status, count] : tally_.statuses) std::printf(" %d:%d", status, count);
        std::printf(")\n  silent corruptions      %d\n", tally_.silent);
        for (const auto& note : tally_.silentNotes) std::printf("    %s\n", note.c_str());
        if (!cliKib_.empty()) {
            const std::size_t n = std::min<std::size_t>(10, cliKib_.size());
            const auto average = [](auto first, auto last) {
                long sum = 0;
                for (auto it = first; it != last; ++it) sum += *it;
                return sum / std::max<long>(1, last - first);
            };
            std::printf(
                "  tidewell-cli peak RSS   first %zu runs %ld KiB, last %zu runs %ld KiB, "
                "max %ld KiB\n",
                n, average(cliKib_.begin(), cliKib_.begin() + static_cast<long>(n)), n,
                average(cliKib_.end() - static_cast<long>(n), cliKib_.end()),
                *std::max_element(cliKib_.begin(), cliKib_.end()));
        }
        if (!devicesKib_.empty()) {
            const auto longest = devicesKib_.front();
            std::printf(
                "  tidewell-devsim RSS     first device %ld KiB after its first run, %ld "
                "KiB when stopped; last device %ld -> %ld KiB\n",
                longest.first, longest.second, devicesKib_.back().first, devicesKib_.back().second);
        }
    }

    Settings settings_;
    std::mt19937 random_;
    std::unique_ptr<testsupport::TempDir> scratch_ =
        std::make_unique<testsupport::TempDir>("tidewell-soak");
    fs::path root_;  // after scratch_, which it may name
    std::unique_ptr<DevsimProcess> device_;
    std::string rate_;
    int devices_ = 0;
    int hangupsPlanned_ = 0;
    long deviceStartKib_ = -1;
    std::vector<std::pair<long, long>> devicesKib_;
    std::vector<long> cliKib_;
    Tally tally_;
};

std::optional<Settings> parse(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        const char* value = argv[++i];
        if (arg == "--cycles") {
            settings.cycles = std::atoi(value);
        } else if (arg == "--block") {
            settings.block = std::atoi(value);
        } else if (arg == "--seed") {
            settings.seed = static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--keep") {
            settings.keep = value;
        } else {
            return std::nullopt;
        }
    }
    if (settings.cycles < 1 || settings.block < 1) return std::nullopt;
    return settings;
}

}  // namespace
}  // namespace tidewell::bench

int main(int argc, char** argv) {
    std::signal(SIGINT, [](int) { tidewell::bench::stopRequested = 1; });
    std::signal(SIGTERM, [](int) { tidewell::bench::stopRequested = 1; });
    const auto settings = tidewell::bench::parse(argc, argv);
    if (!settings) {
        std::fprintf(stderr,
                     "usage: tidewell-soak [--cycles N] [--seed N] [--block N] "
                     "[--keep DIR]\n");
        return 2;
    }
    return tidewell::bench::Soak(*settings).run();
}
