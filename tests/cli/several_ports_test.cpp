// tidewell-cli on four tidewell-devsim ports at once: each port on its own, per-port
// backup folders with their records, read-back on each port, Ctrl-C for all, the summary
// and the JSON objects.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "processes.h"
#include "tidewell/cli/exit_status.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/records/sha256.h"

namespace tidewell::cli::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Json = nlohmann::json;

constexpr int kPorts = 4;
constexpr int kSomeFailed = exitCode(ExitStatus::someDevicesFailed);

// The JSON objects of standard output, one a line.
std::vector<Json> jsonLines(const std::string& out) {
    std::vector<Json> objects;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) objects.push_back(Json::parse(line));
    return objects;
}

const Json* portObject(const std::vector<Json>& objects, const std::string& port) {
    for (const auto& o : objects) {
        if (o.at("type") == "port" && o.at("port") == port) return &o;
    }
    return nullptr;
}

std::size_t filesUnder(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

// Four devices on COM1 to COM4 of the settings.
class CliSeveralPorts : public ::testing::Test {
  protected:
    void startDevices(const std::vector<std::string>& extra = {}) {
        std::string ports = "[Ports]\n";
        for (int i = 0; i < kPorts; ++i) {
            devices_[i].reset();
            devices_[i].emplace(device(i), extra);
            ports += "COM" + std::to_string(i + 1) + "=" + devices_[i]->link().string() + "\n";
        }
        writeFile(temp_ / "config/tidewell/tidewell.ini", ports);
    }
    void restartDevice(int i, const std::vector<std::string>& extra) {
        devices_[i].reset();
        devices_[i].emplace(device(i), extra);
    }
    fs::path device(int i) const {
        const fs::path folder = temp_ / ("device" + std::to_string(i + 1));
        fs::create_directories(folder);
        return folder;
    }
    fs::path store(int i) const { return devices_[i]->store(); }
    std::string com(int i) const { return "COM" + std::to_string(i + 1); }
    CliRun cli(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--port", "COM1,COM2", "--port", "COM3", "-p", "COM4"};
        all.insert(all.end(), args.begin(), args.end());
        return runCli(temp_.path(), all);
    }

    TempDir temp_;
    std::array<std::optional<Devsim>, kPorts> devices_;
};

TEST_F(CliSeveralPorts, UpdatesFourPortsAndAFailingOneFailsAlone) {
    startDevices();
    const std::string package = randomBytes(5000, 31);
    writeFile(temp_ / "fw.pkg", package);
    const CliRun all = cli({"update", temp_.file("fw.pkg")});
    ASSERT_EQ(all.status, 0) << all.err;
    for (int i = 0; i < kPorts; ++i) {
        const std::string stored = readFile(store(i) / "flashimage");
        EXPECT_TRUE(stored.substr(0, package.size()) == package) << com(i);
        EXPECT_EQ(stored.size(), 5120u) << com(i);  // the last packet's zero padding
        EXPECT_TRUE(contains(all.out, com(i) + "  " + devices_[i]->link().string() + "  ok"))
            << all.out;
        EXPECT_TRUE(contains(all.err, com(i) + ": Sent ")) << all.err;
    }
    EXPECT_TRUE(contains(all.out, "4 ports: 4 succeeded, 0 failed")) << all.out;

    restartDevice(2, {"--refuse-transfers"});
    fs::remove(store(0) / "flashimage");
    const CliRun table = cli({"update", temp_.file("fw.pkg")});
    EXPECT_EQ(table.status, kSomeFailed) << table.err;
    EXPECT_TRUE(
        contains(table.out, "COM3  " + devices_[2]->link().string() + "  failed (5)  -        ") &&
        contains(table.out, "the device refused \"download flashimage\": \":ERROR:\""))
        << table.out;
    EXPECT_TRUE(contains(table.out, "4 ports: 3 succeeded, 1 failed")) << table.out;
    EXPECT_TRUE(readFile(store(0) / "flashimage").substr(0, package.size()) == package);

    const CliRun json = cli({"--json", "update", temp_.file("fw.pkg")});
    EXPECT_EQ(json.status, kSomeFailed) << json.err;
    const auto objects = jsonLines(json.out);
    ASSERT_EQ(objects.size(), kPorts + 1u) << json.out;
    for (int i = 0; i < kPorts; ++i) {
        const Json* port = portObject(objects, com(i));
        ASSERT_NE(port, nullptr) << com(i);
        EXPECT_EQ(port->at("device_path"), devices_[i]->link().string());
        EXPECT_EQ(port->at("command"), "update");
        if (i == 2) {
            EXPECT_EQ(port->at("exit_status"), 5);
            EXPECT_TRUE(port->at("sha256").is_null());
            EXPECT_TRUE(contains(port->at("message"), "refused \"download flashimage\""));
        } else {
            EXPECT_EQ(port->at("exit_status"), 0);
            EXPECT_EQ(port->at("sha256"), sha256Hex(package));
            EXPECT_EQ(port->at("bytes"), package.size());
            EXPECT_EQ(port->at("file"), temp_.file("fw.pkg"));
        }
    }
    const Json& summary = objects.back();
    EXPECT_EQ(summary.at("type"), "summary");
    EXPECT_EQ(summary.at("succeeded"), 3);
    EXPECT_EQ(summary.at("failed_ports"), Json::array({"COM3"}));
    EXPECT_EQ(summary.at("exit_status"), kSomeFailed);
}

TEST_F(CliSeveralPorts, BacksUpEachPortIntoItsOwnFolder) {
    startDevices();
    for (int i = 0; i < kPorts; ++i) writeFile(store(i) / "setting", randomBytes(3072, 40 + i));
    fs::create_directories(temp_ / "out");
    for (const char* expected : {"setting.bak", "setting_1.bak"}) {
        const CliRun run = cli({"--json", "backup", "setting", "--dir", temp_.file("out")});
        ASSERT_EQ(run.status, 0) << run.err;
        const auto objects = jsonLines(run.out);
        for (int i = 0; i < kPorts; ++i) {
            const fs::path backup = temp_ / "out" / com(i) / expected;
            EXPECT_TRUE(readFile(backup) == readFile(store(i) / "setting")) << backup;
            const Json* port = portObject(objects, com(i));
            ASSERT_NE(port, nullptr);
            EXPECT_EQ(port->at("file"), backup.string());
            EXPECT_EQ(port->at("sha256"), sha256Hex(readFile(backup)));
            const RecordCheck record = checkBackup(backup);
            EXPECT_TRUE(record.ok()) << backup << ": " << record.detail;
            ASSERT_TRUE(record.record.has_value());
            EXPECT_EQ(record.record->origin.port, com(i));
            EXPECT_EQ(record.record->origin.devicePath, devices_[i]->link().string());
        }
    }
    EXPECT_EQ(filesUnder(temp_ / "out"), 4u * kPorts);  // two backups and their records
}

// Each port reads its device's file back: one that stores a wrong byte fails alone.
TEST_F(CliSeveralPorts, RestoreReadsBackOnEachPort) {
    startDevices();
    restartDevice(1, {"--corrupt-store", "700"});
    writeFile(temp_ / "setting.bak", randomBytes(2000, 60));
    const CliRun run = runCli(temp_.path(), {"--port", "COM1,COM2", "--json", "restore", "setting",
                                             temp_.file("setting.bak")});
    EXPECT_EQ(run.status, kSomeFailed) << run.err;
    const auto objects = jsonLines(run.out);
    const Json* good = portObject(objects, "COM1");
    const Json* bad = portObject(objects, "COM2");
    ASSERT_TRUE(good != nullptr && bad != nullptr) << run.out;
    EXPECT_EQ(good->at("exit_status"), 0);
    EXPECT_EQ(good->at("verified"), true);
    EXPECT_EQ(bad->at("exit_status"), exitCode(ExitStatus::verifyFailed));
    EXPECT_EQ(bad->at("verified"), false);
    EXPECT_TRUE(contains(bad->at("message"), "differs from what was sent at offset 700"))
        << bad->at("message");
    EXPECT_TRUE(contains(readFile(device(0) / "devsim.log"), "rx line \"upload setting\""));
}

// update --verify --backup-first DIR on two ports: each port's backups, with their records,
// in its own folder in DIR, then the package sent and read back on each.
TEST_F(CliSeveralPorts, UpdateBacksUpFirstIntoPerPortFoldersAndVerifiesEach) {
    startDevices();
    for (int i = 0; i < 2; ++i) {
        writeFile(store(i) / "setting", randomBytes(2048, 70 + i));
        writeFile(store(i) / "playlist", randomBytes(1024, 80 + i));
    }
    writeFile(temp_ / "fw.pkg", randomBytes(3000, 90));
    fs::create_directories(temp_ / "first");
    const CliRun run =
        runCli(temp_.path(), {"--port", "COM1,COM2", "--json", "update", "--verify",
                              "--backup-first", temp_.file("first"), temp_.file("fw.pkg")});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto objects = jsonLines(run.out);
    for (int i = 0; i < 2; ++i) {
        for (const char* name : {"setting", "playlist"}) {
            const fs::path backup = temp_ / "first" / com(i) / (std::string(name) + ".bak");
            EXPECT_TRUE(readFile(backup) == readFile(store(i) / name)) << backup;
            EXPECT_TRUE(checkBackup(backup).ok()) << backup;
        }
        const Json* port = portObject(objects, com(i));
        ASSERT_NE(port, nullptr) << run.out;
        EXPECT_EQ(port->at("file"), temp_.file("fw.pkg"));
        EXPECT_EQ(port->at("verified"), true);
    }
    EXPECT_EQ(filesUnder(temp_ / "first"), 8u);
}

// Ctrl-C stops every port within about a byte wait, removes every partial backup, tells
// every device with CAN and releases every port.
TEST_F(CliSeveralPorts, CtrlCStopsEveryPortAndReleasesThem) {
    startDevices({"--baud", "9600", "--throttle-input"});
    for (int i = 0; i < kPorts; ++i) writeFile(store(i) / "setting", randomBytes(100000, 50 + i));
    fs::create_directories(temp_ / "out");
    auto child = startCli(temp_.path(), {"--port", "COM1,COM2,COM3,COM4", "backup", "setting",
                                         "--dir", temp_.file("out")});
    for (int i = 0; i < kPorts; ++i) {
        ASSERT_TRUE(waitForText(device(i) / "devsim.log", "rx ACK packet", 30s)) << com(i);
    }
    const auto signalled = std::chrono::steady_clock::now();
    child->signal(SIGINT);
    ASSERT_EQ(child->wait(30s), exitCode(ExitStatus::interrupted));
    // A byte wait (1 s) and the CAN, with room for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 8s);
    EXPECT_EQ(filesUnder(temp_ / "out"), 0u);
    for (int i = 0; i < kPorts; ++i) {
        EXPECT_TRUE(portIsFree(devices_[i]->link())) << com(i);
        EXPECT_TRUE(waitForText(device(i) / "devsim.log", "rx CAN CAN: cancelled by the host", 5s));
    }
    const std::string out = readFile(temp_ / "cli.out");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), kPorts + 2) << out;
    EXPECT_TRUE(contains(out, "interrupted (130)")) << out;
    EXPECT_EQ(cli({"--timeout", "5", "-q", "detect"}).status, 0);
}

}  // namespace
}  // namespace tidewell::cli::testing
