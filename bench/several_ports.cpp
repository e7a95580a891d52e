// tidewell-cli on a bench of simulated devices, and what one port costs outside its transfer.
//
// Scaling: N = 1, 2, 4, 8, 16 tidewell-devsim instances throttled both ways (--baud 115200
// --throttle-input), one tidewell-cli updating them all at once with the same package. Per run:
// every device's steady payload rate (from its own event log: packet 1 to the last packet),
// their sum (the aggregate), the ratio of the aggregate to N times the one-port rate, the CPU
// time of the one tidewell-cli process per port and as a share of one core, its peak RSS, and
// the CPU the devices themselves took on the same machine.
//
// Phases: one port, one small update; the device's event log times each step of detection,
// log-in, command line, block transfer and final reply, and the program's own start and end
// bound the rest.
//
// Usage: tidewell-ports-bench [--ports 1,2,4,8,16] [--kib 256] [--baud 115200] [--rounds N]
//                             [--phases-kib 3] [--phase-runs 5] [--cli PATH] [--no-scaling]
//                             [--no-phases]
// --cli runs another build of tidewell-cli (an older one, to compare).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tidewell/testsupport/child_process.h"
#include "tidewell/testsupport/devsim_process.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace tidewell::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testsupport::ChildProcess;
using testsupport::DevsimOptions;
using testsupport::DevsimProcess;
using testsupport::Millis;
using testsupport::readFile;
using testsupport::SpawnOptions;
using testsupport::TempDir;
using testsupport::writeFile;

struct Settings {
    std::vector<int> ports{1, 2, 4, 8, 16};
    std::size_t kib = 256;
    std::uint32_t baud = 115200;
    int rounds = 1;
    std::size_t phasesKib = 3;
    bool scaling = true;
    bool phases = true;
    int phaseRuns = 5;
    std::string cli = TIDEWELL_CLI_PROGRAM;
};

// CPU seconds a running process has used so far (user and system).
double processCpu(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoul(field);
        if (i == 15) stime = std::stoul(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Seconds of the device's clock at which each packet arrived.
struct PacketTimes {
    double first = -1;
    double last = -1;
    std::uint64_t packets = 0;
    double rate() const {
        return packets > 1 && last > first
                   ? static_cast<double>(packets - 1) * 1024 / (last - first)
                   : 0;
    }
};

PacketTimes packetTimes(const fs::path& log) {
    std::ifstream in(log);
    const std::regex event(R"(^\s*([0-9.]+) rx packet \d+ \(#(\d+)\) ok)");
    PacketTimes times;
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (!std::regex_search(line, m, event)) continue;
        const double t = std::stod(m[1]);
        if (std::stoull(m[2]) == 1) times.first = t;
        times.last = t;
        times.packets = std::stoull(m[2]);
    }
    return times;
}

// The device's clock at the first line of its log that holds `text` (from `after` on).
std::optional<double> eventTime(const std::string& log, const std::string& text,
                                double after = -1) {
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(text) == std::string::npos) continue;
        const double t = std::stod(line);
        if (t >= after) return t;
    }
    return std::nullopt;
}

std::string pattern(std::size_t size, std::uint32_t seed) {
    return testsupport::randomBytes(size, seed);
}

struct Bench {
    Bench(const fs::path& folder, int count, const std::vector<std::string>& extra, std::string cli)
        : folder_(folder), cli_(std::move(cli)) {
        std::string ports = "[Ports]\n";
        for (int i = 0; i < count; ++i) {
            const fs::path device = folder / ("device" + std::to_string(i + 1));
            fs::create_directories(device);
            DevsimOptions options;
            options.program = TIDEWELL_DEVSIM_PROGRAM;
            options.link = device / "tty";
            options.store = device / "store";
            options.log = device / "devsim.log";
            options.extra = extra;
            devices.push_back(std::make_unique<DevsimProcess>(options));
            readyAt.push_back(Clock::now());
            ports += "COM" + std::to_string(i + 1) + "=" + options.link.string() + "\n";
        }
        writeFile(folder / "config/tidewell/tidewell.ini", ports);
        for (auto& device : devices) cpuBefore.push_back(processCpu(device->child().pid()));
    }

    // Runs tidewell-cli to its end; its status.
    int cli(const std::vector<std::string>& args) {
        SpawnOptions options;
        options.args = {cli_};
        options.args.insert(options.args.end(), args.begin(), args.end());
        options.env = {"XDG_CONFIG_HOME=" + (folder_ / "config").string()};
        options.stdoutFile = folder_ / "cli.out";
        options.stderrFile = folder_ / "cli.err";
        started = Clock::now();
        ChildProcess child(options);
        const int status = child.wait(Millis(3600000)).value_or(-1);
        ended = Clock::now();
        cliCpu = std::chrono::duration<double>(
                     child.cpuTime().value_or(std::chrono::microseconds::zero()))
                     .count();
        cliPeakKib = child.peakRssKib().value_or(0);
        return status;
    }

    double devicesCpu() const {
        double total = 0;
        for (std::size_t i = 0; i < devices.size(); ++i) {
            total += processCpu(devices[i]->child().pid()) - cpuBefore[i];
        }
        return total;
    }

    fs::path folder_;
    std::string cli_;
    std::vector<std::unique_ptr<DevsimProcess>> devices;
    std::vector<Clock::time_point> readyAt;
    std::vector<double> cpuBefore;
    Clock::time_point started, ended;
    double cliCpu = 0;
    long cliPeakKib = 0;
};

struct Scaling {
    int ports = 0;
    bool ok = false;
    double wall = 0;
    double aggregate = 0;  // bytes per second, the devices' steady rates added up
    double slowest = 0;
    double cliCpu = 0;
    long cliPeakKib = 0;
    double devicesCpu = 0;
};

Scaling scalingRun(const Settings& settings, int count) {
    TempDir temp("tidewell-ports-bench");
    Bench bench(temp.path(), count, {"--baud", std::to_string(settings.baud), "--throttle-input"},
                settings.cli);
    const std::string package = pattern(settings.kib * 1024, 7);
    writeFile(temp / "fw.pkg", package);
    std::string ports;
    for (int i = 1; i <= count; ++i) ports += (i > 1 ? "," : "") + ("COM" + std::to_string(i));
    Scaling s;
    s.ports = count;
    const int status =
        bench.cli({"--quiet", "--json", "--port", ports, "update", temp.file("fw.pkg")});
    s.wall = std::chrono::duration<double>(bench.ended - bench.started).count();
    s.cliCpu = bench.cliCpu;
    s.cliPeakKib = bench.cliPeakKib;
    s.devicesCpu = bench.devicesCpu();
    s.ok = status == 0;
    s.slowest = 1e300;
    for (int i = 0; i < count; ++i) {
        const fs::path device = temp / ("device" + std::to_string(i + 1));
        const std::string stored = readFile(device / "store/flashimage");
        s.ok = s.ok && stored.compare(0, package.size(), package) == 0;
        const double rate = packetTimes(device / "devsim.log").rate();
        s.aggregate += rate;
        s.slowest = std::min(s.slowest, rate);
    }
    if (!s.ok) std::fprintf(stderr, "%s", readFile(temp / "cli.err").c_str());
    return s;
}

void scaling(const Settings& settings) {
    const double line = settings.baud / 10.0;
    std::printf("Scaling: %zu KiB update on each of N devices at %u baud both ways\n", settings.kib,
                settings.baud);
    std::printf("%4s %4s %10s %12s %8s %8s %10s %9s %9s %10s %10s\n", "N", "ok", "wall s",
                "aggr B/s", "line %", "ratio", "slowest", "cpu s/pt", "cpu %/pt", "peak KiB",
                "devsim %");
    std::optional<double> single;
    for (const int count : settings.ports) {
        for (int round = 0; round < settings.rounds; ++round) {
            const Scaling s = scalingRun(settings, count);
            if (count == 1 && !single && s.ok) single = s.aggregate;
            const double ratio = single ? s.aggregate / (count * *single) : 0;
            std::printf("%4d %4s %10.2f %12.1f %8.2f %8.3f %10.1f %9.4f %9.3f %10ld %10.1f\n",
                        s.ports, s.ok ? "yes" : "NO", s.wall, s.aggregate,
                        100.0 * s.aggregate / (count * line), ratio, s.slowest, s.cliCpu / count,
                        100.0 * s.cliCpu / count / s.wall, s.cliPeakKib,
                        100.0 * s.devicesCpu / s.wall);
            std::fflush(stdout);
        }
    }
    std::printf(
        "aggr: the devices' steady payload rates added up; ratio: aggr / (N x the one-port rate);\n"
        "cpu s/pt and cpu %%/pt: tidewell-cli's CPU time per port, and per port as a share of one\n"
        "core over the run; devsim %%: the N devices' CPU together, as a share of one core.\n");
}

struct PhaseTimes {
    std::vector<double> ms;  // one per phase, kPhaseNames order
};

const char* const kPhaseNames[] = {
    "start, open the port, wake the device until :LOGIN:",
    "log-in: \"\\r\\n\", 50 ms pause, the word",
    "the device's answer up to its :OK:",
    ":OK: to the command line (end of log-in, flush)",
    "command line to the device's start request",
    "block transfer (not counted)",
    "EOT to the final :OK:",
    "final :OK: to the end of tidewell-cli",
    "whole run outside the block transfer",
};

std::optional<PhaseTimes> phaseRun(const Settings& settings, const std::vector<std::string>& line) {
    TempDir temp("tidewell-ports-bench");
    Bench bench(temp.path(), 1, line, settings.cli);
    writeFile(temp / "fw.pkg", pattern(settings.phasesKib * 1024, 9));
    const int status = bench.cli({"--port", "COM1", "update", temp.file("fw.pkg")});
    const std::string log = readFile(temp / "device1/devsim.log");
    // The device's clock starts at its ready line, which the bench read at readyAt.
    const double start =
        std::chrono::duration<double>(bench.started - bench.readyAt.front()).count();
    const double end = std::chrono::duration<double>(bench.ended - bench.readyAt.front()).count();
    const auto prompt = eventTime(log, "tx line \":LOGIN:\"");
    const auto word = eventTime(log, "rx line \"pivot\"");
    const auto loginOk = eventTime(log, "tx line \":OK:\"");
    const auto command = eventTime(log, "rx line \"download flashimage\"");
    const auto request = eventTime(log, "tx start request");
    const auto eot = eventTime(log, "rx EOT");
    const auto finalOk = eot ? eventTime(log, "tx line \":OK:\"", *eot) : std::nullopt;
    if (status != 0 || !prompt || !word || !loginOk || !command || !request || !eot || !finalOk) {
        std::printf("the run failed (status %d)\n%s", status, log.c_str());
        return std::nullopt;
    }
    const std::vector<double> marks{start,    *prompt, *word,    *loginOk, *command,
                                    *request, *eot,    *finalOk, end};
    PhaseTimes times;
    for (std::size_t i = 0; i + 1 < marks.size(); ++i) {
        times.ms.push_back((marks[i + 1] - marks[i]) * 1000.0);
    }
    times.ms.push_back((end - start - (*eot - *request)) * 1000.0);
    return times;
}

void phases(const Settings& settings, const std::vector<std::string>& line,
            const std::string& label) {
    std::vector<PhaseTimes> runs;
    for (int i = 0; i < settings.phaseRuns; ++i) {
        if (auto run = phaseRun(settings, line)) runs.push_back(*run);
    }
    if (runs.empty()) return;
    std::printf("Phases of one %zu KiB update, %s, ms (median, min, max of %zu runs):\n",
                settings.phasesKib, label.c_str(), runs.size());
    for (std::size_t p = 0; p < std::size(kPhaseNames); ++p) {
        std::vector<double> values;
        for (const auto& run : runs) values.push_back(run.ms[p]);
        std::sort(values.begin(), values.end());
        std::printf("  %-56s %8.1f %8.1f %8.1f\n", kPhaseNames[p], values[values.size() / 2],
                    values.front(), values.back());
    }
    std::fflush(stdout);
}

std::vector<int> parseList(const std::string& text) {
    std::vector<int> list;
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) list.push_back(std::stoi(item));
    return list;
}

int run(int argc, char** argv) {
    Settings settings;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--ports") {
            settings.ports = parseList(next());
        } else if (arg == "--kib") {
            settings.kib = std::stoul(next());
        } else if (arg == "--baud") {
            settings.baud = static_cast<std::uint32_t>(std::stoul(next()));
        } else if (arg == "--rounds") {
            settings.rounds = std::stoi(next());
        } else if (arg == "--phases-kib") {
            settings.phasesKib = std::stoul(next());
        } else if (arg == "--phase-runs") {
            settings.phaseRuns = std::stoi(next());
        } else if (arg == "--cli") {
            settings.cli = next();
        } else if (arg == "--no-scaling") {
            settings.scaling = false;
        } else if (arg == "--no-phases") {
            settings.phases = false;
        } else {
            std::printf(
                "Usage: tidewell-ports-bench [--ports 1,2,4,8,16] [--kib 256] [--baud 115200]\n"
                "                            [--rounds N] [--phases-kib 3] [--phase-runs 5]\n"
                "                            [--cli PATH] [--no-scaling] [--no-phases]\n");
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }
    if (settings.phases) {
        phases(settings, {}, "unthrottled pseudo-terminal");
        phases(settings, {"--baud", std::to_string(settings.baud), "--throttle-input"},
               "throttled to " + std::to_string(settings.baud) + " baud both ways");
    }
    if (settings.scaling) scaling(settings);
    return 0;
}

}  // namespace
}  // namespace tidewell::bench

int main(int argc, char** argv) {
    try {
        return tidewell::bench::run(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tidewell-ports-bench: %s\n", failure.what());
        return 1;
    }
}
