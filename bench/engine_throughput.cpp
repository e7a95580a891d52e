// Throughput of the transfer engine through tidewell-devsim, against the line rate and
// against lrzsz on the same throttled line; CPU time and peak memory of a large
// unthrottled upload.
//
// Rates are taken from the device's own event log: from the end of packet 1 to the end
// of the last 1024-byte packet, so both hosts are measured by the same clock and the
// start-up (sx's and rx's start request timing) does not count.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tidewell/engine/port_session.h"
#include "tidewell/engine/trace.h"
#include "tidewell/serial/backend.h"
#include "tidewell/serial/tserie.h"
#include "tidewell/version.h"

extern char** environ;

namespace tidewell::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// --- small helpers ------------------------------------------------------------------------

class Child {
  public:
    Child(const std::vector<std::string>& argv, int in, int out, const std::string& cwd = {},
          int* readEnd = nullptr) {
        int pipeFds[2] = {-1, -1};
        if (readEnd != nullptr && ::pipe2(pipeFds, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (in >= 0) {
            posix_spawn_file_actions_adddup2(&actions, in, 0);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        }
        if (readEnd != nullptr) {
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
        } else if (out >= 0) {
            posix_spawn_file_actions_adddup2(&actions, out, 1);
        }
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (!cwd.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        }
        std::vector<char*> args;
        for (const auto& a : argv) {
            args.push_back(const_cast<char*>(a.c_str()));
        }
        args.push_back(nullptr);
        const int error = ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (readEnd != nullptr) {
            ::close(pipeFds[1]);
            *readEnd = pipeFds[0];
        }
        if (error != 0) {
            throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
        }
    }
    ~Child() { stop(); }
    // Exit status, or -1 when still running at the deadline.
    int wait(std::chrono::milliseconds timeout) {
        const auto deadline = Clock::now() + timeout;
        while (pid_ > 0) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (Clock::now() > deadline) {
                return -1;
            }
            std::this_thread::sleep_for(5ms);
        }
        return 0;
    }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            if (wait(5s) < 0) {
                ::kill(pid_, SIGKILL);
                wait(5s);
            }
        }
    }

  private:
    pid_t pid_ = -1;
};

std::uint8_t patternByte(std::uint64_t at) {
    std::uint64_t x = at * 0x9E3779B97F4A7C15ull;
    return static_cast<std::uint8_t>(x >> 56);
}

void writePattern(const std::string& path, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<char> chunk(1 << 16);
    for (std::uint64_t at = 0; at < size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at));
        for (std::size_t i = 0; i < n; ++i) {
            chunk[i] = static_cast<char>(patternByte(at + i));
        }
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        at += n;
    }
}

// The pattern, then padding bytes only.
bool holdsPattern(const std::string& path, std::uint64_t size, char pad) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(1 << 16);
    std::uint64_t at = 0;
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < got; ++i, ++at) {
            const char expected = at < size ? static_cast<char>(patternByte(at)) : pad;
            if (chunk[i] != expected) {
                return false;
            }
        }
    }
    return at >= size && at < size + 1024;
}

struct TempDir {
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tidewell-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    std::filesystem::path path;
};

// A running tidewell-devsim with its log.
struct Device {
    Device(const std::string& program, const TempDir& dir, const std::vector<std::string>& options)
        : link(dir.file("tty")), store(dir.file("store")), log(dir.file("devsim.log")) {
        std::vector<std::string> argv = {program, "--link", link, "--store", store, "--log", log};
        argv.insert(argv.end(), options.begin(), options.end());
        int out = -1;
        process.emplace(argv, -1, -1, std::string(), &out);
        pollfd pfd{out, POLLIN, 0};
        char c = 0;
        bool ready = false;
        while (!ready && ::poll(&pfd, 1, 10000) > 0 && ::read(out, &c, 1) == 1) {
            ready = c == '\n';
        }
        ::close(out);
        if (!ready) {
            throw std::runtime_error("tidewell-devsim did not start");
        }
    }
    // Stops the device (its log is complete afterwards).
    void stop() { process.reset(); }

    std::string link, store, log;
    std::optional<Child> process;
};

// Steady-state rate from the device log: packets #1 .. #last of the given event kind.
struct LogRate {
    double seconds = 0;
    std::uint64_t packets = 0;
};

LogRate rateFromLog(const std::string& path, bool deviceReceives) {
    std::ifstream in(path);
    const std::regex event(deviceReceives ? R"(^\s*([0-9.]+) rx packet \d+ \(#(\d+)\) ok)"
                                          : R"(^\s*([0-9.]+) rx ACK packet \d+ \(#(\d+)\))");
    double first = -1, last = -1;
    std::uint64_t count = 0;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, event)) {
            const double t = std::stod(m[1]);
            const auto n = std::stoull(m[2]);
            if (n == 1) {
                first = t;
            }
            last = t;
            count = n;
        }
    }
    return {first >= 0 && last > first ? last - first : 0, count};
}

// --- the engine as the host ---------------------------------------------------------------

struct Measure {
    std::string label;
    double payloadRate = 0;  // bytes per second, steady state from the device log
    double linePercent = 0;
    double sessionSeconds = 0;
    double cpuSecondsPerMb = 0;
    long peakRssKb = 0;
    std::uintmax_t traceBytes = 0;  // with --trace: the size of the trace written
    bool ok = false;
};

// The throttled direction is the one that carries the file: the host's bytes for an
// upload, the device's for a download (rx -c loses sync when the device also paces the
// host's ACKs, so a download leaves the host's side unpaced for both hosts).
std::vector<std::string> lineOptions(bool upload, std::uint32_t baud) {
    if (baud == 0) {
        return {};
    }
    if (upload) {
        return {"--baud", std::to_string(baud), "--throttle-input"};
    }
    return {"--baud", std::to_string(baud)};
}

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

Measure engineRun(const std::string& devsim, bool upload, std::uint32_t baud, std::uint64_t size,
                  bool trace) {
    TempDir dir;
    Device device(devsim, dir, lineOptions(upload, baud));
    const std::string local = dir.file(upload ? "fw.pkg" : "setting.bak");
    if (upload) {
        writePattern(local, size);
    } else {
        std::filesystem::create_directories(device.store);
        writePattern(device.store + "/setting", size);
    }
    const std::string link = device.link;
    PortTarget target{1, link, {[] { return makeTermiosBackend(); }, {}}};
    CancelFlag never;
    std::string whyNot;
    Measure m;
    const std::string tracePath = dir.file("engine.trace");
    std::ofstream traceFile;
    {
        auto session =
            PortSession::open(target, baud != 0 ? baud : 115200, EngineTiming{}, never, &whyNot);
        if (!session) {
            throw std::runtime_error(whyNot);
        }
        if (trace) {
            traceFile.open(tracePath, std::ios::trunc);
            session->startTrace(traceFile, "tidewell-engine-bench", kTidewellVersion, false);
        }
        // Detection and log-in, each to its end.
        bool detected = false;
        WorkerEvent event;
        for (const std::int32_t step : {cmdDetect, cmdLogin}) {
            session->command(step);
            while (session->busy()) {
                if (session->wait(Clock::now() + 30s, &event) != WaitEnd::event) {
                    throw std::runtime_error("the device did not answer");
                }
                detected = detected ||
                           (event.kind == WorkerEvent::Kind::result && event.value == resDetected);
            }
        }
        if (!detected) {
            throw std::runtime_error("no detection");
        }
        const double cpuBefore = cpuSeconds();
        const auto start = Clock::now();
        // The worker's own waits govern; the session's silence limit stays out of the way.
        const auto run =
            session->transfer({upload ? TransferWay::toDevice : TransferWay::fromDevice,
                               upload ? "flashimage" : "setting", local, size == 0},
                              {60s, 60s}, {});
        m.sessionSeconds = std::chrono::duration<double>(Clock::now() - start).count();
        m.cpuSecondsPerMb = (cpuSeconds() - cpuBefore) / (static_cast<double>(size) / (1 << 20));
        rusage usage{};
        ::getrusage(RUSAGE_SELF, &usage);
        m.peakRssKb = usage.ru_maxrss;
        m.ok = run && run->result == resTransferOk;
    }
    device.stop();
    if (trace) {
        traceFile.close();
        m.traceBytes = std::filesystem::file_size(tracePath);
    }
    m.ok = m.ok && holdsPattern(upload ? device.store + "/flashimage" : local, size,
                                upload ? '\0' : '\x1A');
    const LogRate rate = rateFromLog(device.log, upload);
    if (rate.seconds > 0) {
        m.payloadRate = static_cast<double>(rate.packets - 1) * 1024 / rate.seconds;
    }
    if (baud != 0) {
        m.linePercent = 100.0 * m.payloadRate / (baud / 10.0);
    }
    return m;
}

// --- lrzsz as the host ----------------------------------------------------------------------

// Reads until text has been seen (and the line it is on has ended); false at the deadline.
bool readUntil(int fd, const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string seen;
    bool found = false;
    while (Clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0) {
            continue;
        }
        char c = 0;
        if (::read(fd, &c, 1) != 1) {
            continue;
        }
        seen.push_back(c);
        found = found || seen.find(text) != std::string::npos;
        if (found && c == '\n') {
            return true;
        }
    }
    return false;
}

Measure lrzszRun(const std::string& devsim, bool upload, std::uint32_t baud, std::uint64_t size) {
    TempDir dir;
    Device device(devsim, dir, lineOptions(upload, baud));
    const std::string local = dir.file(upload ? "fw.pkg" : "setting.bak");
    if (upload) {
        writePattern(local, size);
    } else {
        std::filesystem::create_directories(device.store);
        writePattern(device.store + "/setting", size);
    }
    const int fd = ::open(device.link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios mode{};
    ::tcgetattr(fd, &mode);
    ::cfmakeraw(&mode);
    ::tcsetattr(fd, TCSANOW, &mode);
    // The line protocol by hand, then the block transfer is lrzsz's.
    bool prompt = false;
    for (int i = 0; i < 200 && !prompt; ++i) {
        [[maybe_unused]] auto w = ::write(fd, "   ", 3);
        prompt = readUntil(fd, ":LOGIN:", 50ms) || prompt;
    }
    [[maybe_unused]] auto w1 = ::write(fd, "\r\npivot\r", 8);
    readUntil(fd, ":OK:", 5s);
    const std::string line = upload ? "download flashimage\r" : "upload setting\r";
    [[maybe_unused]] auto w2 = ::write(fd, line.data(), line.size());
    if (!readUntil(fd, ":OK:", 5s)) {
        throw std::runtime_error("device did not accept " + line);
    }
    Measure m;
    const auto start = Clock::now();
    {
        // lrzsz reads the terminal but writes into a pipe that is copied to the terminal:
        // writing and flushing the same terminal it reads, rx -c loses step with the
        // paced device after a few packets.
        int peerOutput = -1;
        Child peer(upload ? std::vector<std::string>{"sx", "-k", "-b", local}
                          : std::vector<std::string>{"rx", "-c", "-b", "setting.bak"},
                   fd, -1, dir.path.string(), &peerOutput);
        std::thread forward([peerOutput, fd] {
            char chunk[4096];
            ssize_t got = 0;
            while ((got = ::read(peerOutput, chunk, sizeof chunk)) > 0) {
                for (ssize_t done = 0; done < got;) {
                    const ssize_t put =
                        ::write(fd, chunk + done, static_cast<std::size_t>(got - done));
                    if (put <= 0) {
                        return;
                    }
                    done += put;
                }
            }
        });
        const int status = peer.wait(std::chrono::seconds(size * 10 / baud * 2 + 120));
        peer.stop();
        forward.join();
        ::close(peerOutput);
        m.ok = status == 0;
    }
    m.sessionSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    ::close(fd);
    device.stop();
    m.ok = m.ok && holdsPattern(upload ? device.store + "/flashimage" : local, size,
                                upload ? '\x1A' : '\x1A');
    const LogRate rate = rateFromLog(device.log, upload);
    if (rate.seconds > 0) {
        m.payloadRate = static_cast<double>(rate.packets - 1) * 1024 / rate.seconds;
    }
    m.linePercent = 100.0 * m.payloadRate / (baud / 10.0);
    return m;
}

void print(const Measure& m) {
    std::printf("%-34s %s  payload %9.1f B/s  line %6.2f %%  session %7.2f s", m.label.c_str(),
                m.ok ? "ok  " : "FAIL", m.payloadRate, m.linePercent, m.sessionSeconds);
    if (m.cpuSecondsPerMb > 0) std::printf("  CPU %.3f s/MiB", m.cpuSecondsPerMb);
    if (m.traceBytes > 0) std::printf("  trace %ju B", m.traceBytes);
    std::printf("\n");
    std::fflush(stdout);
}

int run(int argc, char** argv) {
    std::string devsim = TIDEWELL_DEVSIM_PROGRAM;
    std::uint64_t kib115200 = 1024, kib9600 = 64, mibUnthrottled = 50;
    bool withLrzsz = true;
    bool trace = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                throw std::runtime_error(arg + " needs a value");
            }
            return argv[++i];
        };
        if (arg == "--devsim") {
            devsim = next();
        } else if (arg == "--kib-115200") {
            kib115200 = std::stoull(next());
        } else if (arg == "--kib-9600") {
            kib9600 = std::stoull(next());
        } else if (arg == "--mib-unthrottled") {
            mibUnthrottled = std::stoull(next());
        } else if (arg == "--no-lrzsz") {
            withLrzsz = false;
        } else if (arg == "--trace") {
            trace = true;
        } else {
            std::printf(
                "Usage: tidewell-engine-bench [--kib-115200 N] [--kib-9600 N] "
                "[--mib-unthrottled N] [--no-lrzsz] [--trace] [--devsim PATH]\n"
                "Sizes 0 skip a run. Defaults: 1024 KiB at 115200, 64 KiB at 9600, 50 MiB "
                "unthrottled. --trace: the engine writes its protocol trace (bounded) to a "
                "file.\n");
            return arg == "--help" || arg == "-h" ? 0 : 2;
        }
    }

    for (const auto& [baud, kib] : {std::pair<std::uint32_t, std::uint64_t>{115200, kib115200},
                                    std::pair<std::uint32_t, std::uint64_t>{9600, kib9600}}) {
        if (kib == 0) {
            continue;
        }
        const std::uint64_t size = kib * 1024;
        for (bool upload : {true, false}) {
            Measure engine = engineRun(devsim, upload, baud, size, trace);
            engine.label = std::string(upload ? "upload " : "download ") + std::to_string(kib) +
                           " KiB @" + std::to_string(baud) + " engine";
            print(engine);
            if (withLrzsz) {
                // rx -c sometimes loses step with the paced device and gives up: try again.
                Measure lrzsz;
                int attempts = 0;
                do {
                    lrzsz = lrzszRun(devsim, upload, baud, size);
                } while (!lrzsz.ok && ++attempts < 4);
                lrzsz.label = std::string(upload ? "upload " : "download ") + std::to_string(kib) +
                              " KiB @" + std::to_string(baud) + (upload ? " sx -k" : " rx -c");
                print(lrzsz);
                if (attempts > 0) {
                    std::printf("%-34s (%d failed lrzsz run(s) before this one)\n", "",
                                lrzsz.ok ? attempts : attempts - 1);
                }
                if (lrzsz.ok && engine.ok && lrzsz.payloadRate > 0) {
                    std::printf("%-34s engine / lrzsz = %.3f\n", "",
                                engine.payloadRate / lrzsz.payloadRate);
                }
            }
        }
    }
    if (mibUnthrottled != 0) {
        const std::uint64_t size = mibUnthrottled << 20;
        Measure m = engineRun(devsim, true, 0, size, trace);
        m.label = "upload " + std::to_string(mibUnthrottled) + " MiB unthrottled engine";
        print(m);
        std::printf("%-34s CPU %.3f s per MiB, peak RSS %ld KiB\n", "", m.cpuSecondsPerMb,
                    m.peakRssKb);
    }
    return 0;
}

}  // namespace
}  // namespace tidewell::bench

int main(int argc, char** argv) {
    try {
        return tidewell::bench::run(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tidewell-engine-bench: %s\n", failure.what());
        return 1;
    }
}
