// The parts of a run on several ports that need no device: the ports' plan and folders,
// the summary table and JSON, the run's status, and the output writer.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "output_writer.h"
#include "port_plan.h"
#include "port_report.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

PortOutcome outcome(std::string port, ExitStatus status, std::string message = {}) {
    PortOutcome o;
    o.port = std::move(port);
    o.devicePath = "/dev/" + o.port;
    o.command = Command::update;
    o.status = status;
    o.message = std::move(message);
    o.seconds = 2.04;
    if (status == ExitStatus::ok) {
        o.bytes = 262144;
        o.transferSeconds = 23.0;
        o.file = "fw.pkg";
        o.sha256 = std::string(64, 'a');
    }
    return o;
}

TEST(CliPortReport, TheTableNamesEachPortsResultAndTheReasonOfAFailure) {
    const std::string table = summaryTable(
        {outcome("COM1", ExitStatus::ok), outcome("COM12", ExitStatus::deviceError, "refused")});
    EXPECT_EQ(table,
              "PORT   DEVICE      RESULT      BYTES      TIME   RATE        REASON\n"
              "COM1   /dev/COM1   ok          256.0 KiB  2.0 s  11.1 KiB/s\n"
              "COM12  /dev/COM12  failed (5)  -          2.0 s  -           refused\n"
              "2 ports: 1 succeeded, 1 failed\n");
}

TEST(CliPortReport, JsonObjectsCarryEveryFieldAndNullForWhatIsNot) {
    PortOutcome failed = outcome("/dev/ttyUSB0", ExitStatus::deviceError, "bad \xff\x1b");
    failed.command = Command::send;
    failed.reply = {":ERROR:"};
    const auto port = nlohmann::json::parse(portJson(failed));
    EXPECT_EQ(port.at("type"), "port");
    EXPECT_EQ(port.at("command"), "send");
    EXPECT_TRUE(port.at("file").is_null() && port.at("bytes").is_null() &&
                port.at("sha256").is_null() && port.at("verified").is_null());
    EXPECT_EQ(port.at("exit_status"), 5);
    EXPECT_EQ(port.at("message"), "bad \xef\xbf\xbd\x1b");  // no UTF-8: U+FFFD
    EXPECT_EQ(port.at("reply"), nlohmann::json::array({":ERROR:"}));
    EXPECT_DOUBLE_EQ(port.at("seconds").get<double>(), 2.04);

    PortOutcome restored = outcome("COM1", ExitStatus::ok);
    restored.verified = true;
    const auto ok = nlohmann::json::parse(portJson(restored));
    EXPECT_EQ(ok.at("verified"), true);
    EXPECT_EQ(ok.at("bytes"), 262144);
    EXPECT_EQ(ok.at("sha256"), std::string(64, 'a'));
    EXPECT_FALSE(ok.contains("reply"));

    const auto summary =
        nlohmann::json::parse(summaryJson({outcome("COM1", ExitStatus::ok), failed},
                                          Command::update, 30.5, ExitStatus::someDevicesFailed));
    EXPECT_EQ(summary.at("failed_ports"), nlohmann::json::array({"/dev/ttyUSB0"}));
    EXPECT_EQ(summary.at("exit_status"), exitCode(ExitStatus::someDevicesFailed));
}

TEST(CliPortReport, TheRunsStatusIsZeroOnlyWhenEveryPortSucceeded) {
    const auto ok = outcome("COM1", ExitStatus::ok);
    const auto lost = outcome("COM2", ExitStatus::portError);
    EXPECT_EQ(overallStatus({ok, ok}, false), ExitStatus::ok);
    EXPECT_EQ(overallStatus({ok, lost}, false), ExitStatus::someDevicesFailed);
    EXPECT_EQ(overallStatus({lost, lost}, false), ExitStatus::someDevicesFailed);
    EXPECT_EQ(overallStatus({lost}, false), ExitStatus::portError);  // one port: its own
    EXPECT_EQ(overallStatus({ok, ok}, true), ExitStatus::interrupted);
}

struct PortTree : ::testing::Test {
    testsupport::TempDir temp;
    DeviceRoots roots{temp / "sys", temp / "dev"};

    PortTree() {
        fs::create_directories(temp / "sys");
        fs::create_directories(temp / "dev/serial/by-id");
        std::ofstream(temp / "dev/ttyUSB0") << "";
        std::ofstream(temp / "dev/ttyUSB1") << "";
        fs::create_symlink("../../ttyUSB0", temp / "dev/serial/by-id/usb-FTDI_A5-if00");
        std::ofstream(temp / "tidewell.ini")
            << "[Ports]\nCOM1=" << temp.file("dev/ttyUSB0") << "\nCOM2=" << temp.file("dev/ttyUSB1")
            << "\nCOM3=" << temp.file("dev/gone") << "\n";
    }
    ComPortResolver resolver() {
        return ComPortResolver(SettingsStore(temp / "tidewell.ini"), roots);
    }
};

TEST_F(PortTree, EachDeviceKeepsOneBackupFolderHoweverItIsNamed) {
    EXPECT_EQ(backupFolderName(temp.file("dev/ttyUSB0"), 1, roots), "usb-FTDI_A5-if00");
    EXPECT_EQ(backupFolderName(temp.file("dev/ttyUSB1"), 2, roots), "COM2");
    EXPECT_EQ(backupFolderName("", 9, roots), "COM9");
    EXPECT_EQ(backupFolderName("/tmp/bench/tty", std::nullopt, roots), "tmp_bench_tty");
    EXPECT_EQ(traceFileFor("/tmp/run/trace.txt", "COM2"), "/tmp/run/trace-COM2.txt");
    EXPECT_EQ(traceFileFor("trace", "tmp_bench_tty"), "trace-tmp_bench_tty");

    GlobalOptions options;
    options.ports = {PortChoice{std::nullopt, temp.file("dev/ttyUSB1")}, PortChoice{1, {}}};
    auto ports = resolver();
    std::string why;
    ExitStatus status{};
    const auto plans = planPorts(options, BackupJob{}, ports, roots, &why, &status);
    ASSERT_TRUE(plans) << why;
    EXPECT_EQ((*plans)[0].label, temp.file("dev/ttyUSB1"));
    EXPECT_EQ((*plans)[0].folder, "COM2");  // [Ports] gives the path its number
    EXPECT_EQ((*plans)[1].folder, "usb-FTDI_A5-if00");
}

TEST_F(PortTree, AllMeansThePresentPortsAndNoDeviceIsNamedTwice) {
    GlobalOptions options;
    options.allPorts = true;
    auto ports = resolver();
    std::string why;
    ExitStatus status{};
    const auto all = planPorts(options, DetectJob{}, ports, roots, &why, &status);
    ASSERT_TRUE(all) << why;
    ASSERT_EQ(all->size(), 2u);  // COM3's device is gone
    EXPECT_EQ((*all)[0].label, "COM1");
    EXPECT_EQ((*all)[1].devicePath, temp.file("dev/ttyUSB1"));

    options.allPorts = false;
    options.ports = {PortChoice{1, {}},
                     PortChoice{std::nullopt, temp.file("dev/serial/by-id/usb-FTDI_A5-if00")}};
    EXPECT_FALSE(planPorts(options, DetectJob{}, ports, roots, &why, &status));
    EXPECT_EQ(status, ExitStatus::usage);
    EXPECT_NE(why.find("are the same device"), std::string::npos) << why;

    // One terminal under two names: a link, as tidewell-devsim makes, and the tty itself.
    int master = -1, slave = -1;
    std::array<char, 128> tty{};
    ASSERT_EQ(::openpty(&master, &slave, tty.data(), nullptr, nullptr), 0);
    fs::create_symlink(tty.data(), temp / "link");
    options.ports = {PortChoice{std::nullopt, temp.file("link")},
                     PortChoice{std::nullopt, tty.data()}};
    EXPECT_FALSE(planPorts(options, DetectJob{}, ports, roots, &why, &status));
    EXPECT_NE(why.find("are the same device"), std::string::npos) << why;
    ::close(master);
    ::close(slave);

    fs::remove(temp / "dev/ttyUSB0");
    fs::remove(temp / "dev/ttyUSB1");
    options.ports.clear();
    options.allPorts = true;
    EXPECT_FALSE(planPorts(options, DetectJob{}, ports, roots, &why, &status));
    EXPECT_EQ(status, ExitStatus::portError);
}

TEST(CliOutputWriter, LinesFromManyThreadsStayWholeAndCarryTheirPort) {
    std::ostringstream out, err;
    OutputWriter writer({out, err, nullptr, false, false, {}}, {"COM1", "COM2", "COM3", "COM4"});
    std::vector<std::thread> threads;
    for (std::size_t port = 0; port < 4; ++port) {
        threads.emplace_back([&writer, port] {
            LineStream stream([&](std::string_view line) {
                writer.line(port, OutputWriter::Channel::err, line);
            });
            for (int i = 0; i < 200; ++i) {
                stream << "line " << i << ' ' << std::string(100, static_cast<char>('a' + port))
                       << '\n';
            }
            stream << "unfinished";
        });
    }
    for (auto& thread : threads) thread.join();
    std::istringstream lines(err.str());
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const char port = line.at(3);
        const std::string prefix = "COM" + std::string(1, port) + ": ";
        const bool whole =
            line == prefix + "unfinished" ||
            (line.starts_with(prefix + "line ") &&
             line.ends_with(" " + std::string(100, static_cast<char>('a' + (port - '1')))));
        ASSERT_TRUE(whole) << line;
    }
    EXPECT_EQ(count, 4u * 201);
    EXPECT_EQ(out.str(), "");
}

TEST(CliOutputWriter, TheStatusLinesAreRedrawnAtMostTenTimesASecond) {
    std::ostringstream out, err;
    OutputWriter writer({out, err, nullptr, true, false, [] { return std::size_t{20}; }},
                        {"COM1", "COM10"});
    auto now = OutputWriter::Clock::now();
    for (int i = 0; i < 100; ++i, now += 10ms) {  // one second of updates
        writer.status(static_cast<std::size_t>(i % 2), "sending " + std::to_string(i) + "% ...");
        writer.tick(now);
    }
    writer.tick(now + 100ms);  // the last change still shows
    EXPECT_GE(writer.redraws(), 10u);
    EXPECT_LE(writer.redraws(), 11u);
    const std::string screen = err.str();
    EXPECT_NE(screen.find("COM10  sending 99% "), std::string::npos) << screen;
    EXPECT_EQ(screen.find("COM10  sending 99% ..."), std::string::npos);  // cut to the width
    writer.closeBoard();
    writer.line(0, OutputWriter::Channel::err, "done");
    EXPECT_TRUE(err.str().ends_with("\x1b[2A\r\x1b[JCOM1: done\n")) << err.str();
}

}  // namespace
}  // namespace tidewell::cli
