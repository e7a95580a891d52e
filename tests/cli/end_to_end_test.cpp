// tidewell-cli run as a program against tidewell-devsim over a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "processes.h"
#include "tidewell/records/sha256.h"
#include "tidewell/testsupport/stubborn_peer.h"

namespace tidewell::cli::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::StubbornPeer;

constexpr int kOk = 0;
constexpr int kUsage = 2;
constexpr int kPortError = 3;
constexpr int kNoDevice = 4;
constexpr int kDeviceError = 5;
constexpr int kLocalFile = 6;
constexpr int kTooManyRetries = 7;
constexpr int kDeviceCancel = 8;
constexpr int kNoStart = 9;
constexpr int kTimeout = 10;
constexpr int kBackupMismatch = 11;
constexpr int kVerifyFailed = 12;
constexpr int kNotVerified = 13;
constexpr int kInterrupted = 130;

// The file as the device sent or kept it: the original, then only padding bytes.
::testing::AssertionResult equalPaddingAside(const std::string& original, const std::string& got,
                                             char padding) {
    if (got.size() < original.size() || got.compare(0, original.size(), original) != 0) {
        return ::testing::AssertionFailure()
               << "the first " << original.size() << " bytes differ (got " << got.size() << ")";
    }
    if (got.size() % 128 != 0 || got.size() - original.size() >= 1024) {
        return ::testing::AssertionFailure() << "odd length " << got.size();
    }
    if (!std::all_of(got.begin() + static_cast<std::ptrdiff_t>(original.size()), got.end(),
                     [padding](char c) { return c == padding; })) {
        return ::testing::AssertionFailure() << "the tail is not padding";
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> filesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::size_t count(const std::string& text, std::string_view part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// Waits until text occurs in the file more than `already` times.
bool waitForMore(const fs::path& file, std::string_view text, std::size_t already) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (count(readFile(file), text) <= already) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// How far a running process has read its standard input.
std::uint64_t inputPosition(pid_t pid) {
    std::ifstream info("/proc/" + std::to_string(pid) + "/fdinfo/0");
    std::string key;
    std::uint64_t position = 0;
    info >> key >> position;  // the first line is "pos: N"
    return key == "pos:" ? position : ~std::uint64_t{0};
}

class CliEndToEnd : public ::testing::Test {
  protected:
    fs::path dir() const { return temp_.path(); }
    std::string port() const { return devsim_->link().string(); }
    fs::path store() const { return devsim_->store(); }

    void startDevsim(const std::vector<std::string>& extra = {}) { devsim_.emplace(dir(), extra); }
    CliRun cli(std::vector<std::string> args, const CliExtras& extras = {}) {
        args.insert(args.begin(), {"--port", port()});
        return runCli(dir(), args, extras);
    }
    std::string inDir(const std::string& name) const { return (dir() / name).string(); }

    TempDir temp_;
    std::optional<Devsim> devsim_;
};

// --- What works -----------------------------------------------------------

TEST_F(CliEndToEnd, DetectWakesTheDeviceAndLogsIn) {
    startDevsim();
    const CliRun run = cli({"detect"});
    EXPECT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(contains(run.err, "Logged in.")) << run.err;
    EXPECT_TRUE(contains(devsim_->log(), "login accepted"));
}

TEST_F(CliEndToEnd, UpdateSendsThePackageToFlashimage) {
    startDevsim();
    const std::string package = randomBytes(3000, 11);
    writeFile(inDir("fw.pkg"), package);
    const CliRun run = cli({"update", inDir("fw.pkg")});
    ASSERT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(equalPaddingAside(package, readFile(store() / "flashimage"), '\0'));
    EXPECT_TRUE(contains(run.err, "flashimage  100%  2.9 KiB of 2.9 KiB")) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST_F(CliEndToEnd, BackupsTakeNumberedNamesAndHoldTheDeviceFile) {
    startDevsim();
    fs::create_directories(store());
    const std::string setting = randomBytes(2500, 12);
    const std::string playlist = randomBytes(4096, 13);
    writeFile(store() / "setting", setting);
    writeFile(store() / "playlist", playlist);
    fs::create_directories(dir() / "out");

    const CliRun first = cli({"backup", "setting", "--dir", inDir("out")});
    ASSERT_EQ(first.status, kOk) << first.err;
    EXPECT_EQ(first.out, inDir("out") + "/setting.bak\n");
    const CliRun second = cli({"-q", "backup", "setting", "--dir", inDir("out")});
    ASSERT_EQ(second.status, kOk) << second.err;
    EXPECT_EQ(second.out, inDir("out") + "/setting_1.bak\n");
    EXPECT_EQ(second.err, "");  // --quiet
    const CliRun third = cli({"backup", "playlist", "--dir", inDir("out")});
    ASSERT_EQ(third.status, kOk) << third.err;
    EXPECT_EQ(third.out, inDir("out") + "/playlist.bak\n");
    EXPECT_TRUE(contains(third.err, "\nplaylist  4.0 KiB  ")) << third.err;  // all four packets

    EXPECT_TRUE(equalPaddingAside(setting, readFile(dir() / "out/setting.bak"), '\x1a'));
    EXPECT_TRUE(equalPaddingAside(setting, readFile(dir() / "out/setting_1.bak"), '\x1a'));
    EXPECT_EQ(readFile(dir() / "out/playlist.bak"), playlist);
    // Nothing else but their records: no partial files left behind.
    EXPECT_EQ(
        filesIn(dir() / "out"),
        (std::vector<std::string>{"playlist.bak", "playlist.bak.json", "setting.bak",
                                  "setting.bak.json", "setting_1.bak", "setting_1.bak.json"}));
    const std::string record = readFile(dir() / "out/setting_1.bak.json");
    EXPECT_TRUE(contains(record, "\"device_file\": \"setting\"")) << record;
    EXPECT_TRUE(contains(record, "\"device_path\": \"" + port() + "\"")) << record;
    EXPECT_TRUE(contains(record, "\"Firmware 1.0\"")) << record;
}

TEST_F(CliEndToEnd, RestoreSendsTheBackupToTheDeviceFile) {
    startDevsim();
    const std::string backup = randomBytes(5000, 14);
    writeFile(inDir("setting_3.bak"), backup);
    const CliRun run = cli({"restore", "setting", inDir("setting_3.bak")});
    ASSERT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(equalPaddingAside(backup, readFile(store() / "setting"), '\0'));
    // Read back by default: the file, then the zeros of the last packet.
    EXPECT_TRUE(contains(run.err, "has no record (setting_3.bak.json); it is sent as it is."))
        << run.err;
    EXPECT_TRUE(contains(run.err,
                         "Verified: the device's file matches what was sent (5000 bytes "
                         "and 120 bytes of padding)"))
        << run.err;
    EXPECT_TRUE(contains(devsim_->log(), "rx line \"upload setting\""));
}

TEST_F(CliEndToEnd, SendPrintsTheReplyUpToItsOkLine) {
    startDevsim();
    fs::create_directories(store());
    writeFile(store() / "setting", "abc");
    const CliRun run = cli({"send", "ls"});
    EXPECT_EQ(run.status, kOk) << run.err;
    EXPECT_EQ(run.out, "setting 3\n:OK:\n");
}

TEST_F(CliEndToEnd, TerminalSendsEachInputLineAndPrintsTheDeviceLines) {
    startDevsim();
    fs::create_directories(store());
    writeFile(store() / "playlist", "12345");
    CliExtras extras;
    extras.input = "ls\n\nhelp\r\n";
    const CliRun run = cli({"terminal"}, extras);
    EXPECT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(contains(run.out, "playlist 5\n:OK:\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "ls             list the stored files\n")) << run.out;
    EXPECT_TRUE(contains(devsim_->log(), "rx line \"help\""));
}

// A device that never ends its line (or never stops sending lines) does not hold the
// terminal open after its input has ended.
TEST_F(CliEndToEnd, TerminalEndsAfterItsInputThoughTheDeviceNeverStopsTalking) {
    startDevsim({"--endless-line", "command"});
    CliExtras extras;
    extras.input = "ls\n";
    extras.limit = Millis(30000);
    const CliRun run = cli({"--timeout", "2", "terminal"}, extras);
    EXPECT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(contains(run.out, "abcdefghijklmnopqrstuvwxyz")) << run.out.size();
}

// Standard input is read only as fast as its lines go out; a line longer than the
// limit ends the terminal without being sent.
TEST_F(CliEndToEnd, TerminalReadsItsInputOnlyAsFastAsItsLinesGoOut) {
    startDevsim();
    std::string flood;
    for (int i = 0; i < 1'000'000; ++i) flood += "ls\n";
    writeFile(inDir("flood.in"), flood);
    auto child = startCli(dir(), {"--port", port(), "terminal"}, inDir("flood.in"));
    ASSERT_TRUE(waitForMore(dir() / "devsim.log", "rx line \"ls\"", 4));
    EXPECT_LT(inputPosition(child->pid()), 64u * 1024);
    child->signal(SIGINT);
    EXPECT_EQ(child->wait(20s), kInterrupted);

    CliExtras extras;
    extras.input = "help\n" + std::string(5000, 'x') + "\nls\n";
    const CliRun run = cli({"terminal"}, extras);
    EXPECT_EQ(run.status, kUsage) << run.err;
    EXPECT_TRUE(contains(run.err, "input line 2 is longer than 4096 bytes")) << run.err;
    EXPECT_TRUE(contains(devsim_->log(), "rx line \"help\""));  // the line before it went
    EXPECT_TRUE(contains(run.out, "ls             list the stored files\n")) << run.out;
    EXPECT_FALSE(contains(devsim_->log(), "xxxx"));
}

// Escape sequences from the device reach no terminal as they are: standard error and
// the log show them visibly, standard output only when it is a terminal.
TEST_F(CliEndToEnd, ControlCharactersFromTheDeviceAreShownVisibly) {
    startDevsim({"--escape-sequences"});
    const std::string shown = "\\e]0;devsim^G\\e[2J";
    const CliRun toFile = cli({"--log", inDir("cli.log"), "send", "ls"});
    EXPECT_EQ(toFile.out, "\x1b]0;devsim\x07\x1b[2J:OK:\n");  // asked for: the device's bytes
    for (const std::string& text : {toFile.err, readFile(dir() / "cli.log")}) {
        EXPECT_TRUE(contains(text, shown + "Logged in\n") && !contains(text, "\x1b")) << text;
    }
    int master = -1;
    CliExtras extras;
    ASSERT_EQ(::openpty(&master, &extras.stdoutFd, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(cli({"send", "ls"}, extras).status, kOk);
    char screen[256] = {};
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    ASSERT_GT(::read(master, screen, sizeof screen - 1), 0);
    EXPECT_TRUE(contains(screen, shown + ":OK:") && !contains(screen, "\x1b")) << screen;
    ::close(master);
    ::close(extras.stdoutFd);
}

TEST_F(CliEndToEnd, LogShowsAndKeepsTheDeviceLinesAndStatistics) {
    startDevsim();
    fs::create_directories(store());
    writeFile(store() / "setting", "xyz");
    const CliRun run = cli({"--log", inDir("cli.log"), "backup", "setting", "--dir", inDir(".")});
    ASSERT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(contains(run.err, "| Cancel count: 0")) << run.err;
    EXPECT_TRUE(contains(run.err, "| Tidewell simulated device")) << run.err;
    const std::string log = readFile(dir() / "cli.log");
    EXPECT_TRUE(contains(log, "\nRemote re-transmition count: ")) << log;
    EXPECT_TRUE(contains(log, "tidewell-cli backup")) << log;
}

TEST_F(CliEndToEnd, BothSidesTraceABadPacketAndItsRetryAlike) {
    startDevsim({"--corrupt-packet", "1", "--trace", inDir("device.trace")});
    fs::create_directories(store());
    writeFile(store() / "setting", randomBytes(3000, 21));
    const CliRun run =
        cli({"--trace", inDir("host.trace"), "backup", "setting", "--dir", inDir(".")});
    ASSERT_EQ(run.status, kOk) << run.err;

    const std::string host = readFile(dir() / "host.trace");
    EXPECT_TRUE(host.starts_with("# tidewell trace 1\n# program tidewell-cli ")) << host;
    EXPECT_TRUE(contains(host, "|:LOGIN:..|")) << host;
    EXPECT_TRUE(contains(host, " < 02 01 fe ")) << host;
    EXPECT_EQ(count(host, " * packet 1 1024 bad\n"), 1u) << host;
    EXPECT_EQ(count(host, " * nak out\n"), 1u) << host;
    EXPECT_TRUE(contains(host, " * result 8 resTransferOk\n")) << host;

    // The device's side: each packet the host took is one it sent, the NAK one it read.
    const std::string device = readFile(dir() / "device.trace");
    EXPECT_TRUE(device.starts_with("# tidewell trace 1\n# program tidewell-devsim ")) << device;
    EXPECT_EQ(count(device, " * send "), count(host, " * packet ")) << device;
    EXPECT_EQ(count(device, " * send 1 1024\n"), 2u) << device;
    EXPECT_EQ(count(device, " * nak in\n"), 1u) << device;
    EXPECT_EQ(count(device, " * ack in\n"), count(host, " * ack out\n")) << device;

    // Summed up, both ends count the same packets and the one resend; only the host, which
    // received them, saw the failed check.
    const CliRun summed =
        runCli(dir(), {"trace", "--json", inDir("host.trace"), inDir("device.trace")});
    ASSERT_EQ(summed.status, kOk) << summed.err;
    const auto split = summed.out.find('\n');
    const auto hostSide = nlohmann::json::parse(summed.out.substr(0, split));
    const auto deviceSide = nlohmann::json::parse(summed.out.substr(split + 1));
    EXPECT_EQ(hostSide["file"], inDir("host.trace"));
    EXPECT_EQ(hostSide["command"], "upload setting");
    EXPECT_EQ(hostSide["packets"], 3);
    EXPECT_EQ(hostSide["retries"], 1);
    EXPECT_EQ(hostSide["failed_checks"], 1);
    EXPECT_EQ(hostSide["first_anomaly"]["text"], "packet 1 failed its check");
    EXPECT_EQ(deviceSide["packets"], hostSide["packets"]);
    EXPECT_EQ(deviceSide["bytes"], hostSide["bytes"]);
    EXPECT_EQ(deviceSide["retries"], hostSide["retries"]);
    EXPECT_EQ(deviceSide["failed_checks"], 0);
    EXPECT_EQ(deviceSide["first_anomaly"]["text"], "NAK received");
    // A trace cut short inside its transfer, and one that is not there.
    writeFile(dir() / "cut.trace", host.substr(0, host.find(" * packet 1 1024 bad\n")));
    const CliRun cut = runCli(dir(), {"trace", inDir("cut.trace"), inDir("none.trace")});
    EXPECT_EQ(cut.status, kLocalFile);
    EXPECT_TRUE(contains(cut.out, "cut short: the trace ends before its result")) << cut.out;
    EXPECT_TRUE(contains(cut.err, inDir("cut.trace") + ": line ")) << cut.err;
    EXPECT_TRUE(contains(cut.err, "cannot read the trace file " + inDir("none.trace") +
                                      ": No such file or directory (errno 2)"))
        << cut.err;

    const CliRun nowhere = cli({"--trace", inDir("gone/host.trace"), "detect"});
    EXPECT_EQ(nowhere.status, kLocalFile);
    EXPECT_TRUE(contains(nowhere.err, "cannot open the trace file " + inDir("gone/host.trace") +
                                          ": No such file or directory (errno 2)"))
        << nowhere.err;
}

TEST_F(CliEndToEnd, ComNumbersAndTheSavedPortComeFromTheSettings) {
    startDevsim();
    fs::create_directories(dir() / "config/tidewell");
    writeFile(dir() / "config/tidewell/tidewell.ini",
              "[Tidewell]\nCommPort=7\n[Ports]\nCOM7=" + port() + "\n");
    const CliRun saved = runCli(dir(), {"detect"});
    EXPECT_EQ(saved.status, kOk) << saved.err;
    EXPECT_TRUE(contains(saved.err, "COM7 (" + port() + ")")) << saved.err;
    const CliRun numbered = runCli(dir(), {"--port", "com7", "detect"});
    EXPECT_EQ(numbered.status, kOk) << numbered.err;
    const CliRun ports = runCli(dir(), {"ports"});
    EXPECT_EQ(ports.status, kOk) << ports.err;
    EXPECT_TRUE(contains(ports.out, "present  (saved)\n")) << ports.out;
    EXPECT_TRUE(contains(ports.out, "COM7   " + port())) << ports.out;
}

// Every reply comes 4.5 s late: later than the protocol's own waits (3 s for the reply
// to the transfer line, 4 s for the final line), well within --timeout.
TEST_F(CliEndToEnd, RepliesLaterThanTheProtocolsWaitsButWithinTheTimeoutAreTaken) {
    startDevsim({"--reply-delay", "4500"});
    const std::string setting = randomBytes(3000, 22);
    writeFile(store() / "setting", setting);
    CliExtras extras;
    extras.limit = Millis(90000);
    const CliRun run = cli({"--timeout", "30", "backup", "setting", "--dir", inDir(".")}, extras);
    ASSERT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(equalPaddingAside(setting, readFile(dir() / "setting.bak"), '\x1a'));
}

TEST_F(CliEndToEnd, OneMegabyteUpdateSurvivesBitErrorsByteExact) {
    startDevsim({"--bit-error-rate", "1e-5", "--seed", "1"});
    const std::string package = randomBytes(1 << 20, 15);
    writeFile(inDir("big.pkg"), package);
    const CliRun run = cli({"update", inDir("big.pkg")});
    ASSERT_EQ(run.status, kOk) << run.err;
    EXPECT_TRUE(readFile(store() / "flashimage") == package);
    EXPECT_TRUE(contains(devsim_->log(), "fault bit-error rx"));
}

// --- Backup records and read-back verification ------------------------------

TEST_F(CliEndToEnd, ABackupsRecordProvesItUntilItChangesAndForceRestoresItAnyway) {
    startDevsim();
    const std::string setting = randomBytes(3000, 25);
    writeFile(store() / "setting", setting);
    const CliRun backup = cli({"backup", "setting", "--dir", inDir(".")});
    ASSERT_EQ(backup.status, kOk) << backup.err;
    const std::string path = inDir("setting.bak");
    EXPECT_EQ(runCli(dir(), {"verify", path}).status, kOk);

    // Nor does it go into another device file.
    const CliRun elsewhere = cli({"restore", "playlist", path});
    EXPECT_EQ(elsewhere.status, kBackupMismatch);
    EXPECT_TRUE(contains(elsewhere.err, path + ": its record says it is a backup of \"setting\", "
                                               "not of \"playlist\"; nothing was sent"))
        << elsewhere.err;
    EXPECT_FALSE(contains(devsim_->log(), "download playlist"));

    std::string changed = readFile(path);
    changed[2000] = static_cast<char>(changed[2000] ^ 0x01);
    writeFile(path, changed);
    const CliRun verify = runCli(dir(), {"verify", path});
    EXPECT_EQ(verify.status, kBackupMismatch);
    EXPECT_TRUE(contains(verify.err, path + ": does not match its record: SHA-256 ")) << verify.err;

    const CliRun refused = cli({"restore", "setting", path});
    EXPECT_EQ(refused.status, kBackupMismatch);
    EXPECT_TRUE(contains(refused.err, "nothing was sent (--force restores it anyway)"))
        << refused.err;
    EXPECT_FALSE(contains(devsim_->log(), "download setting"));
    const CliRun forced = cli({"--force", "restore", "setting", path});
    EXPECT_EQ(forced.status, kOk) << forced.err;
    EXPECT_EQ(readFile(store() / "setting"), changed);
    EXPECT_TRUE(contains(forced.err, "Verified: ")) << forced.err;
}

TEST_F(CliEndToEnd, VerifyTellsEachBackupAndGivesTheFirstFailuresStatus) {
    writeFile(inDir("plain.bak"), "no record");
    writeFile(inDir("broken.bak"), "x");
    writeFile(inDir("broken.bak.json"), "{\"format\": 1}");
    const CliRun run =
        runCli(dir(), {"verify", inDir("plain.bak"), inDir("broken.bak"), inDir("none.bak")});
    EXPECT_EQ(run.status, kBackupMismatch);
    EXPECT_TRUE(contains(run.err, inDir("plain.bak") + ": has no record (plain.bak.json)"))
        << run.err;
    EXPECT_TRUE(contains(run.err, "broken.bak.json is not a valid record: no \"device_file\""))
        << run.err;
    EXPECT_EQ(runCli(dir(), {"verify", inDir("none.bak")}).status, kLocalFile);
}

TEST_F(CliEndToEnd, RestoreReadsBackAndNamesTheFirstOffsetThatDiffers) {
    startDevsim({"--corrupt-store", "1500"});
    writeFile(inDir("setting.bak"), randomBytes(4000, 26));
    const CliRun run = cli({"restore", "setting", inDir("setting.bak")});
    EXPECT_EQ(run.status, kVerifyFailed) << run.err;
    EXPECT_TRUE(contains(run.err, port() + ": verification of \"setting\" failed: the device's "
                                           "file differs from what was sent at offset 1500"))
        << run.err;
    EXPECT_EQ(cli({"--no-verify", "restore", "setting", inDir("setting.bak")}).status, kOk);
}

// A bit error turned "download setting" into "download wetting"; the device stored the
// file under that name and confirmed it.
TEST_F(CliEndToEnd, ARestoreUnderADamagedNameIsNoSuccess) {
    startDevsim({"--mangle-download-name"});
    writeFile(store() / "setting", randomBytes(2048, 27));
    writeFile(inDir("setting.bak"), randomBytes(2048, 28));
    const CliRun run = cli({"restore", "setting", inDir("setting.bak")});
    EXPECT_EQ(run.status, kVerifyFailed) << run.err;
    EXPECT_TRUE(contains(run.err, "verification of \"setting\" failed")) << run.err;
    EXPECT_TRUE(fs::exists(store() / "wetting"));
    // Without the read-back the same restore passes for a success.
    EXPECT_EQ(cli({"--no-verify", "restore", "setting", inDir("setting.bak")}).status, kOk);
}

TEST_F(CliEndToEnd, AnUpdateNotSentBackIsNotVerifiedAndBackupFirstNeedsBothBackups) {
    startDevsim({"--refuse-upload", "flashimage", "--refuse-upload", "playlist"});
    writeFile(store() / "setting", randomBytes(1000, 30));
    writeFile(store() / "playlist", randomBytes(1000, 31));
    writeFile(inDir("fw.pkg"), randomBytes(3000, 32));
    const CliRun unverified = cli({"update", "--verify", inDir("fw.pkg")});
    EXPECT_EQ(unverified.status, kNotVerified) << unverified.err;
    EXPECT_TRUE(contains(unverified.err,
                         "the device refused \"upload flashimage\": \":ERROR:\"; "
                         "\"flashimage\" was sent, but could not be verified"))
        << unverified.err;
    EXPECT_EQ(cli({"update", inDir("fw.pkg")}).status, kOk);  // not read back unless asked
    fs::remove(store() / "flashimage");

    fs::create_directories(dir() / "out");
    const std::size_t logBefore = devsim_->log().size();
    const CliRun refused = cli({"update", inDir("fw.pkg"), "--backup-first", inDir("out")});
    EXPECT_EQ(refused.status, kDeviceError) << refused.err;
    EXPECT_TRUE(contains(refused.err,
                         "refused \"upload playlist\": \":ERROR:\"; the package "
                         "was not sent"))
        << refused.err;
    EXPECT_FALSE(contains(devsim_->log().substr(logBefore), "download flashimage"));
    EXPECT_EQ(filesIn(dir() / "out"),
              (std::vector<std::string>{"setting.bak", "setting.bak.json"}));

    devsim_.reset();
    startDevsim();
    const CliRun run = cli({"update", inDir("fw.pkg"), "--backup-first", inDir("out")});
    ASSERT_EQ(run.status, kOk) << run.err;
    EXPECT_EQ(run.out, inDir("out") + "/setting_1.bak\n" + inDir("out") + "/playlist.bak\n");
    EXPECT_EQ(
        runCli(dir(), {"verify", inDir("out/setting_1.bak"), inDir("out/playlist.bak")}).status,
        kOk);
    EXPECT_TRUE(fs::exists(store() / "flashimage"));
}

// The digest and count are those of the bytes the device acknowledged: a package
// replaced on disk while it goes out changes neither them nor the read-back's verdict.
TEST_F(CliEndToEnd, WhatWasSentIsHashedAndVerifiedThoughTheFileIsReplacedMeanwhile) {
    startDevsim({"--baud", "19200", "--throttle-input"});
    const std::string package = randomBytes(4000, 33);
    writeFile(inDir("fw.pkg"), package);
    auto child =
        startCli(dir(), {"--port", port(), "--json", "update", "--verify", inDir("fw.pkg")});
    ASSERT_TRUE(waitForMore(dir() / "devsim.log", "rx packet", 0));
    writeFile(inDir("new.pkg"), randomBytes(6000, 34));
    fs::rename(inDir("new.pkg"), inDir("fw.pkg"));
    EXPECT_EQ(child->wait(60s), kOk) << readFile(dir() / "cli.err");
    const std::string out = readFile(dir() / "cli.out");
    const auto object = nlohmann::json::parse(out.substr(0, out.find('\n')));
    EXPECT_EQ(object.at("sha256"), sha256Hex(package));
    EXPECT_EQ(object.at("bytes"), package.size());
    EXPECT_EQ(object.at("verified"), true);
}

// One port with --json: the backup goes where --dir says, and a record that cannot be
// written leaves the backup's own figures. The port's long name makes the record longer
// than the one-packet backup, so a file size limit between the two stops the record alone.
TEST_F(CliEndToEnd, JsonOnOnePortKeepsTheFolderAndTheFiguresOfABackupWithoutItsRecord) {
    startDevsim();
    writeFile(store() / "setting", randomBytes(100, 35));
    const fs::path longName = dir() / std::string(250, 'p') / std::string(250, 'q') / "tty";
    fs::create_directories(longName.parent_path());
    fs::create_symlink(port(), longName);
    fs::create_directories(dir() / "out");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);  // no file: the limit must not cut the JSON
    CliExtras extras;
    extras.fileSizeLimit = 1024;
    extras.stdoutFd = out[1];
    const CliRun run = runCli(
        dir(),
        {"-q", "--port", longName.string(), "--json", "backup", "setting", "--dir", inDir("out")},
        extras);
    ::close(out[1]);
    std::string json;
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;) json.append(buffer, got);
    ::close(out[0]);
    EXPECT_EQ(run.status, kLocalFile) << run.err;
    const auto object = nlohmann::json::parse(json.substr(0, json.find('\n')));
    EXPECT_TRUE(contains(object.at("message"), "its record could not be written")) << json;
    EXPECT_EQ(object.at("file"), inDir("out/setting.bak"));
    EXPECT_EQ(object.at("bytes"), 1024);
    EXPECT_EQ(object.at("sha256"), sha256Hex(readFile(dir() / "out/setting.bak")));
}

// --- Each failure kind: its status and a message naming what failed -------

TEST_F(CliEndToEnd, UsageErrorsNameTheProblem) {
    const CliRun run = runCli(dir(), {"frobnicate"});
    EXPECT_EQ(run.status, kUsage);
    EXPECT_TRUE(contains(run.err, "\"frobnicate\"")) << run.err;
}

TEST_F(CliEndToEnd, APortThatCannotBeOpenedIsNamedWithTheReason) {
    const CliRun run = runCli(dir(), {"--port", inDir("no-such-tty"), "detect"});
    EXPECT_EQ(run.status, kPortError);
    EXPECT_TRUE(contains(run.err, inDir("no-such-tty"))) << run.err;
    EXPECT_TRUE(contains(run.err, "No such file or directory")) << run.err;
}

TEST_F(CliEndToEnd, AComNumberWithoutADeviceIsAPortError) {
    const CliRun run = runCli(dir(), {"--port", "COM9", "detect"});
    EXPECT_EQ(run.status, kPortError);
    EXPECT_TRUE(contains(run.err, "COM9: no device is assigned to it")) << run.err;
}

TEST_F(CliEndToEnd, NoPromptWithinTheTimeoutIsNoDevice) {
    startDevsim({"--no-prompt"});
    const CliRun run = cli({"--timeout", "0.5", "detect"});
    EXPECT_EQ(run.status, kNoDevice);
    EXPECT_TRUE(contains(run.err, port() + ": no device answered within 0.5 s")) << run.err;
    const CliRun shortest = cli({"--timeout", "0.001", "detect"});
    EXPECT_TRUE(contains(shortest.err, "no device answered within 1 ms")) << shortest.err;
}

TEST_F(CliEndToEnd, ARefusedLogInIsAnErrorReply) {
    startDevsim({"--refuse-login"});
    const CliRun run = cli({"detect"});
    EXPECT_EQ(run.status, kDeviceError);
    EXPECT_TRUE(contains(run.err, port() + ": the device refused the log-in: \":ERROR:\""))
        << run.err;
}

TEST_F(CliEndToEnd, ALogInNeverConfirmedIsATimeout) {
    for (const char* fault : {"--ignore-login", "--reprompt-login"}) {
        startDevsim({fault});
        const CliRun run = cli({"--timeout", "1", "detect"});
        EXPECT_EQ(run.status, kTimeout) << fault << run.err;
        // Never less than the 2 s a device may take for the answer.
        EXPECT_TRUE(contains(run.err, ": the device did not confirm the log-in within 2 s"))
            << run.err;
        devsim_.reset();
    }
}

TEST_F(CliEndToEnd, ARefusedTransferIsAnErrorReplyAndShowsTheDeviceLines) {
    startDevsim({"--refuse-transfers"});
    writeFile(inDir("fw.pkg"), "package");
    const CliRun run = cli({"update", inDir("fw.pkg")});
    EXPECT_EQ(run.status, kDeviceError);
    EXPECT_TRUE(contains(run.err, "refused \"download flashimage\": \":ERROR:\"")) << run.err;
    EXPECT_TRUE(contains(run.err, "| Firmware 1.0\n")) << run.err;
    EXPECT_TRUE(contains(run.err, "| :ERROR:\n")) << run.err;
}

TEST_F(CliEndToEnd, AMissingPackageIsALocalFileError) {
    const CliRun run = runCli(dir(), {"--port", inDir("tty"), "update", inDir("none.pkg")});
    EXPECT_EQ(run.status, kLocalFile);
    EXPECT_TRUE(contains(run.err, inDir("none.pkg") + ": No such file or directory")) << run.err;
    const CliRun folder = runCli(dir(), {"--port", inDir("tty"), "update", inDir(".")});
    EXPECT_EQ(folder.status, kLocalFile);
    EXPECT_TRUE(contains(folder.err, "Is a directory")) << folder.err;
    // A FIFO would hold open() until a writer comes.
    ASSERT_EQ(::mkfifo(inDir("fifo.pkg").c_str(), 0600), 0);
    CliExtras extras;
    extras.limit = Millis(10000);
    const CliRun fifo =
        runCli(dir(), {"--port", inDir("tty"), "update", inDir("fifo.pkg")}, extras);
    EXPECT_EQ(fifo.status, kLocalFile);
    EXPECT_TRUE(contains(fifo.err, "cannot send " + inDir("fifo.pkg") + ": not a regular file"))
        << fifo.err;
}

TEST_F(CliEndToEnd, EmptyFilesAreSentOnlyWithForce) {
    startDevsim();
    writeFile(inDir("empty.pkg"), "");
    const CliRun update = cli({"update", inDir("empty.pkg")});
    EXPECT_EQ(update.status, kLocalFile);
    EXPECT_TRUE(contains(update.err, inDir("empty.pkg") + " is empty")) << update.err;
    EXPECT_FALSE(contains(devsim_->log(), "login accepted"));  // the device was not touched

    const CliRun forced = cli({"--force", "update", inDir("empty.pkg")});
    EXPECT_EQ(forced.status, kOk) << forced.err;
    EXPECT_EQ(fs::file_size(store() / "flashimage"), 0u);
}

TEST_F(CliEndToEnd, AnUnwritableLogIsALocalFileError) {
    const CliRun run = runCli(dir(), {"--log", inDir("gone/cli.log"), "detect"});
    EXPECT_EQ(run.status, kLocalFile);
    EXPECT_TRUE(contains(run.err, inDir("gone/cli.log") + ": No such file or directory"))
        << run.err;
}

TEST_F(CliEndToEnd, AMissingBackupFolderIsALocalFileError) {
    startDevsim();
    const CliRun run = cli({"backup", "setting", "--dir", inDir("gone")});
    EXPECT_EQ(run.status, kLocalFile);
    EXPECT_TRUE(contains(run.err, inDir("gone") + ": No such file or directory")) << run.err;
    EXPECT_FALSE(contains(devsim_->log(), "login accepted"));  // found before the port opens
}

// Whatever the device's line after the cancel says, the cause is the local file, with
// the system's reason (a full disk says "No space left on device" here).
TEST_F(CliEndToEnd, AFailedWriteIsALocalFileErrorAndLeavesNoBackup) {
    startDevsim();
    fs::create_directories(store());
    writeFile(store() / "setting", randomBytes(5000, 16));
    fs::create_directories(dir() / "out");
    CliExtras extras;
    extras.fileSizeLimit = 2048;  // the third packet cannot be written
    const CliRun run = cli({"backup", "setting", "--dir", inDir("out")}, extras);
    EXPECT_EQ(run.status, kLocalFile) << run.err;
    EXPECT_TRUE(contains(run.err, "cannot write the received data to " + inDir("out"))) << run.err;
    EXPECT_TRUE(contains(run.err, ": File too large (errno 27)")) << run.err;
    EXPECT_TRUE(contains(run.err, "| Error: Write file exception.")) << run.err;
    EXPECT_TRUE(filesIn(dir() / "out").empty());
}

TEST_F(CliEndToEnd, APacketRefusedAgainAndAgainIsTooManyRetries) {
    StubbornPeer peer(StubbornPeer::Mode::RefuseEveryPacket);
    writeFile(inDir("fw.pkg"), randomBytes(3000, 17));
    const CliRun run = runCli(dir(), {"--port", peer.path().string(), "update", inDir("fw.pkg")});
    EXPECT_EQ(run.status, kTooManyRetries) << run.err;
    EXPECT_TRUE(contains(run.err, peer.path().string() + ": too many retries")) << run.err;
    EXPECT_EQ(peer.packetsRefused(), 25);
}

// The device starts, but every packet fails its check here: the line is busy, so
// --timeout does not cut it short, and the report names the cause.
TEST_F(CliEndToEnd, PacketsThatKeepFailingTheirCheckAreTooManyRetries) {
    startDevsim({"--corrupt-every-packet"});
    writeFile(store() / "setting", randomBytes(5000, 23));
    const CliRun run = cli({"--timeout", "2", "backup", "setting", "--dir", inDir(".")});
    EXPECT_EQ(run.status, kTooManyRetries) << run.err;
    EXPECT_TRUE(contains(run.err, port() + ": the packets of \"setting\" kept failing their check"))
        << run.err;
    EXPECT_FALSE(contains(run.err, "never started")) << run.err;
    // Damaged packets are packets: --timeout did not cut the transfer short, the device
    // gave up by its own count.
    EXPECT_TRUE(contains(devsim_->log(), "not acknowledged after 10 sends")) << devsim_->log();
}

TEST_F(CliEndToEnd, ACancelByTheDeviceIsDeviceCancel) {
    startDevsim({"--cancel-at", "2", "--ok-after-failure"});
    writeFile(inDir("fw.pkg"), randomBytes(5000, 18));
    const CliRun run = cli({"update", inDir("fw.pkg")});
    EXPECT_EQ(run.status, kDeviceCancel) << run.err;
    EXPECT_TRUE(contains(run.err, port() + ": the device cancelled the transfer of \"flashimage\""))
        << run.err;
}

TEST_F(CliEndToEnd, ACancelTheDeviceThenReportsAsErrorIsAnErrorReply) {
    startDevsim({"--cancel-at", "2"});
    writeFile(inDir("fw.pkg"), randomBytes(5000, 19));
    const CliRun run = cli({"update", inDir("fw.pkg")});
    EXPECT_EQ(run.status, kDeviceError) << run.err;
    EXPECT_TRUE(contains(run.err, "reported an error after the transfer of \"flashimage\""))
        << run.err;
}

TEST_F(CliEndToEnd, AnAcceptedTransferThatNeverStartsIsNoStart) {
    startDevsim({"--no-transfer-start"});
    writeFile(inDir("fw.pkg"), "package");
    const CliRun run = cli({"--timeout", "1", "update", inDir("fw.pkg")});
    EXPECT_EQ(run.status, kNoStart) << run.err;
    EXPECT_TRUE(contains(run.err, "accepted \"download flashimage\" but never started")) << run.err;
}

TEST_F(CliEndToEnd, AnUnansweredCommandLineIsATimeout) {
    startDevsim({"--silent-after-command"});
    writeFile(inDir("fw.pkg"), "package");
    const CliRun update = cli({"--timeout", "1", "update", inDir("fw.pkg")});
    EXPECT_EQ(update.status, kTimeout) << update.err;
    EXPECT_TRUE(contains(update.err, port() + ": no reply to \"download flashimage\" within 2 s"))
        << update.err;
    const CliRun send = cli({"--timeout", "0.5", "send", "ls"});
    EXPECT_EQ(send.status, kTimeout) << send.err;
    EXPECT_TRUE(contains(send.err, "no reply to \"ls\" within 2 s")) << send.err;
}

TEST_F(CliEndToEnd, AnErrorReplyToSendIsAnErrorReply) {
    startDevsim();
    const CliRun run = cli({"send", "format everything"});
    EXPECT_EQ(run.status, kDeviceError);
    EXPECT_EQ(run.out, ":ERROR:\n");
    EXPECT_TRUE(contains(run.err, "replied \":ERROR:\" to \"format everything\"")) << run.err;
}

TEST_F(CliEndToEnd, ADeviceThatHangsUpIsAPortError) {
    startDevsim({"--hangup-at-sent", "2000"});
    fs::create_directories(store());
    writeFile(store() / "setting", randomBytes(8000, 20));
    fs::create_directories(dir() / "out");
    const CliRun run = cli({"backup", "setting", "--dir", inDir("out")});
    EXPECT_EQ(run.status, kPortError) << run.err;
    EXPECT_TRUE(contains(run.err, port() + ": the device was lost")) << run.err;
    EXPECT_TRUE(filesIn(dir() / "out").empty());
}

TEST_F(CliEndToEnd, CtrlCStopsDetectionAndReleasesThePort) {
    startDevsim({"--no-prompt"});
    auto child = startCli(dir(), {"--port", port(), "detect"});
    ASSERT_TRUE(waitForText(dir() / "cli.err", "Waiting for the device", 10s));
    child->signal(SIGINT);
    EXPECT_EQ(child->wait(10s), kInterrupted);
    const std::string err = readFile(dir() / "cli.err");
    EXPECT_TRUE(contains(err, "interrupted: detection stopped; the port is released")) << err;
    EXPECT_TRUE(portIsFree(port()));
}

// SIGTERM, a closed session (SIGHUP) and Ctrl-C stop a transfer alike: status 130,
// no partial backup, the port released; the device is told with CAN and prompts for
// the next detection at once.
TEST_F(CliEndToEnd, SignalsStopATransferAndTheDeviceIsFreeAgain) {
    startDevsim({"--baud", "9600", "--throttle-input"});
    fs::create_directories(store());
    writeFile(store() / "setting", randomBytes(200000, 21));
    writeFile(inDir("fw.pkg"), randomBytes(200000, 24));
    fs::create_directories(dir() / "out");
    std::size_t round = 0;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {  // the last one during an update
        SCOPED_TRACE(strsignal(signal));
        const bool backup = ++round < 3;
        const std::string packet = backup ? "rx ACK packet" : "rx packet";
        const std::size_t packetsBefore = count(devsim_->log(), packet);
        auto child = startCli(
            dir(), backup ? std::vector<std::string>{"--port", port(), "backup", "setting", "-d",
                                                     inDir("out")}
                          : std::vector<std::string>{"--port", port(), "update", inDir("fw.pkg")});
        ASSERT_TRUE(waitForMore(dir() / "devsim.log", packet, packetsBefore));
        child->signal(signal);
        EXPECT_EQ(child->wait(20s), kInterrupted);
        EXPECT_TRUE(contains(readFile(dir() / "cli.err"), "was cancelled; the port is released"));
        EXPECT_TRUE(filesIn(dir() / "out").empty());
        EXPECT_TRUE(portIsFree(port()));
        EXPECT_TRUE(
            waitForMore(dir() / "devsim.log", "rx CAN CAN: cancelled by the host", round - 1));
        EXPECT_EQ(cli({"--timeout", "5", "detect"}).status, kOk);
    }
}

}  // namespace
}  // namespace tidewell::cli::testing
