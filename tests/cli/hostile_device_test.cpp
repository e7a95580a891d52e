// tidewell-cli against a device that misbehaves in each phase of a session
// (tidewell-devsim's phase faults on a 115200-baud line): random bytes, an endless
// line, line feeds in place of a transfer, a trickling packet, a hang-up. Each run
// must end soon after the fault (within --timeout and one read wait, plus room for a
// loaded machine) with its own non-zero status and a message naming the cause, stay
// light on the processor and on memory, and leave no partial file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "processes.h"

namespace tidewell::cli::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPortError = 3;
constexpr int kNoDevice = 4;
constexpr int kNoStart = 9;
constexpr int kTimeout = 10;

// --timeout of every run, and the longest read wait of the worker in these phases
// (a byte of a packet; a transfer's silence limit adds the time of one packet on the
// line, 0.1 s here).
constexpr auto kCliTimeout = 2s;
constexpr auto kReadWait = 1s;
// Room for a machine shared with other builds. A wait that a flood or a trickle
// stretches ends 3 s or more later than this allows.
constexpr auto kLoadRoom = 1500ms;

struct HostileRun {
    const char* name;
    std::vector<std::string> device;  // tidewell-devsim fault options
    std::vector<std::string> command;
    const char* fault;  // the device's log line once the fault has struck
    int status;
    const char* cause;  // part of the message on standard error
};

void PrintTo(const HostileRun& run, std::ostream* out) {
    *out << run.name;
}

class HostileDevice : public ::testing::TestWithParam<HostileRun> {
  protected:
    TempDir temp;
};

TEST_P(HostileDevice, EndsInTimeWithItsCauseLightlyAndLeavesNoPartialFile) {
    const HostileRun& c = GetParam();
    std::vector<std::string> options = c.device;
    options.insert(options.end(), {"--baud", "115200"});
    Devsim device(temp.path(), options);
    writeFile(device.store() / "setting", randomBytes(6 * 1024, 5));
    const fs::path package = temp.path() / "fw.pkg";
    writeFile(package, randomBytes(8 * 1024, 3));
    const fs::path backups = temp.path() / "backups";
    fs::create_directories(backups);

    SpawnOptions spawn;
    spawn.args = {TIDEWELL_CLI, "--port", device.link().string(), "--timeout", "2"};
    for (const std::string& arg : c.command) {
        spawn.args.push_back(arg == "PACKAGE" ? package.string()
                             : arg == "DIR"   ? backups.string()
                                              : arg);
    }
    spawn.env = {"XDG_CONFIG_HOME=" + (temp.path() / "config").string()};
    spawn.stderrFile = temp.path() / "cli.err";
    const auto start = Clock::now();
    Child cli(spawn);
    ASSERT_TRUE(waitForText(temp.path() / "devsim.log", c.fault, 30000ms)) << c.fault << "\n"
                                                                           << device.log();
    const auto fault = Clock::now();
    const std::optional<int> status = cli.wait(120s);
    const auto end = Clock::now();
    ASSERT_TRUE(status.has_value()) << "still running two minutes after the fault";

    const std::string err = readFile(spawn.stderrFile);
    EXPECT_EQ(*status, c.status) << err;
    EXPECT_NE(err.find(c.cause), std::string::npos) << err;
    const auto took = end - fault;
    EXPECT_LE(took, kCliTimeout + kReadWait + kLoadRoom);
    ASSERT_TRUE(cli.cpuTime().has_value());
    // Over one second at least: a run that ends at once spends its time starting up.
    const double cpu = std::chrono::duration<double>(*cli.cpuTime()).count() /
                       std::max(1.0, std::chrono::duration<double>(end - start).count());
    EXPECT_LT(cpu, 0.10);
    ASSERT_TRUE(cli.peakRssKib().has_value());
    EXPECT_LT(*cli.peakRssKib(), 64 * 1024);
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(backups)) {
        left.push_back(entry.path().filename().string());
    }
    EXPECT_TRUE(left.empty()) << left.front();
    const auto at = err.rfind("tidewell-cli:");
    const std::string message =
        at == std::string::npos ? std::string() : err.substr(at, err.find('\n', at) - at);
    std::printf(
        "[ cli ] %s: status %d; %.1f s after the fault; CPU %.3f; peak %ld KiB; %zu "
        "files left; %s\n",
        c.name, *status, std::chrono::duration<double>(took).count(), cpu, *cli.peakRssKib(),
        left.size(), message.c_str());
}

const std::vector<std::string> kDetect = {"detect"};
const std::vector<std::string> kBackup = {"backup", "setting", "--dir", "DIR"};
const std::vector<std::string> kUpdate = {"update", "PACKAGE"};
const std::vector<std::string> kSend = {"send", "ls"};

INSTANTIATE_TEST_SUITE_P(Cli, HostileDevice,
                         ::testing::Values(HostileRun{"noise_in_detection",
                                                      {"--noise", "detection"},
                                                      kDetect,
                                                      "fault noise detection",
                                                      kNoDevice,
                                                      "no device answered within 2 s"},
                                           HostileRun{"hangup_in_detection",
                                                      {"--hangup-in", "detection"},
                                                      kDetect,
                                                      "hung up: line closed",
                                                      kPortError,
                                                      "the device was lost"},
                                           HostileRun{"hangup_in_login",
                                                      {"--hangup-in", "login"},
                                                      kDetect,
                                                      "hung up: line closed",
                                                      kPortError,
                                                      "the device was lost"},
                                           HostileRun{"endless_line_for_the_transfer_line",
                                                      {"--endless-line", "command"},
                                                      kBackup,
                                                      "fault endless-line command",
                                                      kTimeout,
                                                      "no reply to \"upload setting\""},
                                           HostileRun{"endless_line_for_send",
                                                      {"--endless-line", "command"},
                                                      kSend,
                                                      "fault endless-line command",
                                                      kTimeout,
                                                      "bytes without a line end"},
                                           HostileRun{"hangup_for_the_transfer_line",
                                                      {"--hangup-in", "command"},
                                                      kUpdate,
                                                      "hung up: line closed",
                                                      kPortError,
                                                      "the device was lost"},
                                           HostileRun{"lf_flood_in_place_of_a_backup",
                                                      {"--lf-flood", "transfer"},
                                                      kBackup,
                                                      "fault lf-flood transfer",
                                                      kNoStart,
                                                      "line feeds and nothing else"},
                                           HostileRun{"trickling_packet",
                                                      {"--trickle-ms", "900"},
                                                      kBackup,
                                                      "transfer upload",
                                                      kTimeout,
                                                      "but no packet got through"},
                                           HostileRun{"hangup_in_a_backup",
                                                      {"--hangup-in", "transfer"},
                                                      kBackup,
                                                      "hung up: line closed",
                                                      kPortError,
                                                      "the device was lost"},
                                           HostileRun{"hangup_in_an_update",
                                                      {"--hangup-in", "transfer"},
                                                      kUpdate,
                                                      "hung up: line closed",
                                                      kPortError,
                                                      "the device was lost"},
                                           HostileRun{"hangup_for_the_final_line",
                                                      {"--hangup-in", "final"},
                                                      kBackup,
                                                      "hung up: line closed",
                                                      kPortError,
                                                      "the device was lost"},
                                           HostileRun{"endless_final_line",
                                                      {"--endless-line", "final"},
                                                      kUpdate,
                                                      "fault endless-line final",
                                                      kTimeout,
                                                      "did not confirm the end"}),
                         [](const auto& info) { return std::string(info.param.name); });

// An endless line for the log-in word on an unpaced line (megabytes a second): what is
// kept of the answer is bounded, so a wait four times as long holds no more memory.
TEST(HostileLogIn, AnEndlessAnswerToTheLogInWordFillsNoMemory) {
    std::vector<long> peaks;
    for (const char* timeout : {"2", "8"}) {
        TempDir temp;
        Devsim device(temp.path(), {"--endless-line", "login"});
        SpawnOptions spawn;
        spawn.args = {TIDEWELL_CLI, "--port", device.link().string(), "--timeout", timeout,
                      "-q",         "detect"};
        // Under AddressSanitizer freed memory is held back for a while: the peak would count
        // what the run let go, not what it kept.
        spawn.env = {"XDG_CONFIG_HOME=" + (temp.path() / "config").string(),
                     "ASAN_OPTIONS=quarantine_size_mb=0"};
        spawn.stderrFile = temp.path() / "cli.err";
        Child cli(spawn);
        ASSERT_EQ(cli.wait(60s), kTimeout) << readFile(spawn.stderrFile);
        ASSERT_TRUE(cli.peakRssKib().has_value());
        peaks.push_back(*cli.peakRssKib());
    }
    EXPECT_LT(peaks[1] - peaks[0], 8 * 1024) << peaks[0] << " KiB, then " << peaks[1] << " KiB";
}

}  // namespace
}  // namespace tidewell::cli::testing
