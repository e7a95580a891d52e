#include "run.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "child_process.h"
#include "pseudo_terminal.h"
#include "text.h"
#include "tidewell/devsim/device.h"
#include "tidewell/devsim/device_trace.h"
#include "tidewell/devsim/event_log.h"
#include "tidewell/devsim/store.h"
#include "tidewell/devsim/throttle.h"
#include "tidewell/version.h"

namespace tidewell::devsim {

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kQueueLimit = 64 * 1024;  // stop reading while a queue is this full

// Bytes waiting to be written, oldest first.
class ByteQueue {
  public:
    bool empty() const { return head_ == bytes_.size(); }
    std::size_t size() const { return bytes_.size() - head_; }
    const std::uint8_t* data() const { return bytes_.data() + head_; }
    void append(const std::vector<std::uint8_t>& more) {
        bytes_.insert(bytes_.end(), more.begin(), more.end());
    }
    void drop(std::size_t count) {
        head_ += count;
        if (head_ == bytes_.size()) {
            bytes_.clear();
            head_ = 0;
        }
    }
    void clear() {
        bytes_.clear();
        head_ = 0;
    }

  private:
    std::vector<std::uint8_t> bytes_;
    std::size_t head_ = 0;
};

UniqueFd blockSignals() {
    sigset_t mask;
    sigemptyset(&mask);
    sigaddset(&mask, SIGINT);
    sigaddset(&mask, SIGTERM);
    sigaddset(&mask, SIGCHLD);
    if (::sigprocmask(SIG_BLOCK, &mask, nullptr) != 0) {
        throw std::runtime_error(osError("sigprocmask", errno));
    }
    ::signal(SIGPIPE, SIG_IGN);
    UniqueFd fd(::signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC));
    if (!fd.valid()) throw std::runtime_error(osError("signalfd", errno));
    return fd;
}

class Session {
  public:
    Session(const Options& options, Store& store, EventLog& log, DeviceTrace& trace, PtyPair pty,
            LinkGuard& link, UniqueFd signals)
        : options_(options),
          store_(store),
          log_(log),
          trace_(trace),
          pty_(std::move(pty)),
          link_(link),
          signals_(std::move(signals)),
          device_(DeviceConfig::fromOptions(options), store, log, Clock::now()) {
        const auto now = Clock::now();
        if (options.baud) {
            output_.emplace(TokenBucket::forBaud(*options.baud, now));
            if (options.throttleInput) input_.emplace(TokenBucket::forBaud(*options.baud, now));
        }
        if (trace_.active()) device_.setTrace(&trace_);
        device_.note("ready: " + pty_.slavePath + " linked from " + options.link.string(), now);
    }

    ~Session() { stopExternal(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int run();

  private:
    void stopExternal();
    void collect(Clock::time_point now);
    void startExternal(const ExternalTransfer& transfer, Clock::time_point now);
    void finishExternal(Clock::time_point now);
    void closeLine(Clock::time_point now, const std::string& why);
    void readLine(Clock::time_point now);
    void writeLine(Clock::time_point now);
    void readChild(Clock::time_point now);
    void writeChild();
    bool readSignals(Clock::time_point now);
    int pollTimeout(Clock::time_point now);

    const Options& options_;
    Store& store_;
    EventLog& log_;
    DeviceTrace& trace_;
    PtyPair pty_;
    LinkGuard& link_;
    UniqueFd signals_;
    Device device_;
    std::optional<TokenBucket> output_;
    std::optional<TokenBucket> input_;
    ByteQueue toHost_;
    ByteQueue toChild_;

    std::unique_ptr<ChildProcess> child_;
    std::optional<ExternalTransfer> transfer_;
    std::optional<fs::path> scratch_;
    bool childOutputEnded_ = false;
};

void Session::collect(Clock::time_point now) {
    // A flood is made only as fast as the line takes it.
    if (device_.flooding() && pty_.master.valid() && toHost_.size() < kChunk) {
        device_.flood(kChunk - toHost_.size(), now);
    }
    auto bytes = device_.takeOutput();
    if (pty_.master.valid()) toHost_.append(bytes);
    if (auto transfer = device_.takeExternalStart()) startExternal(*transfer, now);
    auto forChild = device_.takeExternalInput();
    if (child_ && child_->socket().valid()) toChild_.append(forChild);
}

void Session::startExternal(const ExternalTransfer& transfer, Clock::time_point now) {
    const bool toDevice = transfer.direction == TransferDirection::toDevice;
    std::vector<std::string> argv = toDevice ? std::vector<std::string>{"rx", "-c", "-b", "-q"}
                                             : std::vector<std::string>{"sx", "-k", "-b", "-q"};
    argv.emplace_back("--");
    argv.push_back(transfer.name);
    fs::path folder = store_.root();
    std::string error;
    if (toDevice) {
        // rx writes into a private folder; the file joins the store only when complete.
        scratch_ = store_.makeScratchFolder(error);
        if (!scratch_) {
            device_.note("lrzsz not started: " + error, now);
            device_.externalFinished(false, now);
            return;
        }
        folder = *scratch_;
    }
    try {
        child_ = std::make_unique<ChildProcess>(argv, folder, log_.fd());
    } catch (const std::exception& failure) {
        device_.note(std::string("lrzsz not started: ") + failure.what(), now);
        stopExternal();
        device_.externalFinished(false, now);
        return;
    }
    transfer_ = transfer;
    childOutputEnded_ = false;
    toChild_.clear();
    std::string command;
    for (const auto& arg : argv) command += (command.empty() ? "" : " ") + arg;
    device_.note("lrzsz started: " + command + " (pid " + std::to_string(child_->pid()) + ")", now);
}

void Session::finishExternal(Clock::time_point now) {
    bool succeeded = child_->succeeded();
    device_.note("lrzsz ended: " + child_->describeStatus(), now);
    if (transfer_ && transfer_->direction == TransferDirection::toDevice && scratch_) {
        if (succeeded) {
            std::string error;
            if (store_.adopt(transfer_->name, *scratch_ / transfer_->name, error)) {
                device_.note("stored " + escaped(transfer_->name), now);
            } else {
                device_.note("store failed: " + error, now);
                succeeded = false;
            }
        }
    }
    stopExternal();
    toChild_.clear();
    device_.externalFinished(succeeded, now);
}

// Logged last, so that the log line tells a reader the hang-up is complete.
void Session::closeLine(Clock::time_point now, const std::string& why) {
    pty_.master.reset();
    pty_.slave.reset();
    link_.remove();
    toHost_.clear();
    stopExternal();
    device_.note(why, now);
}

void Session::stopExternal() {
    child_.reset();
    if (scratch_) {
        std::error_code ignored;
        fs::remove_all(*scratch_, ignored);
        scratch_.reset();
    }
    transfer_.reset();
}

void Session::readLine(Clock::time_point now) {
    std::size_t room = kChunk;
    if (input_) room = std::min(room, input_->available(now));
    if (room == 0) return;
    std::array<std::uint8_t, kChunk> buffer;
    const ssize_t got = ::read(pty_.master.get(), buffer.data(), room);
    if (got > 0) {
        if (input_) input_->consume(static_cast<std::size_t>(got));
        trace_.read(std::span(buffer.data(), static_cast<std::size_t>(got)), now);
        device_.receive(std::span(buffer.data(), static_cast<std::size_t>(got)), now);
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        closeLine(now, got == 0 ? "line ended" : osError("read from the pty master", errno));
    }
}

void Session::writeLine(Clock::time_point now) {
    std::size_t count = std::min(toHost_.size(), kChunk);
    if (output_) count = std::min(count, output_->available(now));
    if (count == 0) return;
    const ssize_t written = ::write(pty_.master.get(), toHost_.data(), count);
    if (written > 0) {
        trace_.wrote(std::span(toHost_.data(), static_cast<std::size_t>(written)), now);
        if (output_) output_->consume(static_cast<std::size_t>(written));
        toHost_.drop(static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
        closeLine(now, osError("write to the pty master", errno));
    }
}

void Session::readChild(Clock::time_point now) {
    std::array<std::uint8_t, kChunk> buffer;
    const ssize_t got = ::read(child_->socket().get(), buffer.data(), buffer.size());
    if (got > 0) {
        device_.externalOutput(std::span(buffer.data(), static_cast<std::size_t>(got)), now);
    } else if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
        childOutputEnded_ = true;
        child_->socket().reset();
    }
}

void Session::writeChild() {
    const ssize_t written = ::send(child_->socket().get(), toChild_.data(),
                                   std::min(toChild_.size(), kChunk), MSG_NOSIGNAL);
    if (written > 0) {
        toChild_.drop(static_cast<std::size_t>(written));
    } else if (written < 0 && errno != EAGAIN && errno != EINTR) {
        toChild_.clear();  // the helper has gone; its end is collected on exit
    }
}

// True when the program should end.
bool Session::readSignals(Clock::time_point now) {
    signalfd_siginfo info{};
    while (::read(signals_.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo == SIGINT || info.ssi_signo == SIGTERM) {
            device_.note(std::string("signal ") +
                             (info.ssi_signo == SIGINT ? "SIGINT" : "SIGTERM") + ": exiting",
                         now);
            return true;
        }
        if (info.ssi_signo == SIGCHLD && child_) child_->reap();
    }
    return false;
}

int Session::pollTimeout(Clock::time_point now) {
    std::optional<Clock::time_point> wake = device_.nextDeadline();
    const auto consider = [&wake](Clock::time_point at) {
        if (!wake || at < *wake) wake = at;
    };
    // A bucket matters only while it is empty; otherwise poll waits for the fd.
    if (output_ && !toHost_.empty() && pty_.master.valid() && output_->available(now) == 0) {
        consider(output_->readyAt(now));
    }
    if (input_ && pty_.master.valid() && input_->available(now) == 0) {
        consider(input_->readyAt(now));
    }
    if (!wake) return -1;
    if (*wake <= now) return 0;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*wake - now);
    return static_cast<int>(std::min<std::chrono::milliseconds::rep>(wait.count(), 60'000));
}

int Session::run() {
    for (;;) {
        auto now = Clock::now();
        device_.advance(now);
        collect(now);
        if (child_ && child_->exited() && childOutputEnded_) {
            finishExternal(now);
            collect(now);
        }
        if (pty_.master.valid() && device_.hungUp() && toHost_.empty()) {
            closeLine(now, "hung up: line closed");
        }

        std::array<pollfd, 3> fds{};
        std::size_t count = 0;
        fds[count++] = {signals_.get(), POLLIN, 0};
        int masterIndex = -1;
        if (pty_.master.valid()) {
            short events = 0;
            const bool inputAllowed = !input_ || input_->available(now) > 0;
            if (inputAllowed && toChild_.size() < kQueueLimit && !device_.hungUp())
                events |= POLLIN;
            if (!toHost_.empty() && (!output_ || output_->available(now) > 0)) events |= POLLOUT;
            masterIndex = static_cast<int>(count);
            fds[count++] = {pty_.master.get(), events, 0};
        }
        int childIndex = -1;
        if (child_ && child_->socket().valid()) {
            short events = 0;
            if (toHost_.size() < kQueueLimit) events |= POLLIN;
            if (!toChild_.empty()) events |= POLLOUT;
            childIndex = static_cast<int>(count);
            fds[count++] = {child_->socket().get(), events, 0};
        }

        const int ready = ::poll(fds.data(), count, pollTimeout(now));
        if (ready < 0) {
            if (errno == EINTR) continue;
            throw std::runtime_error(osError("poll", errno));
        }
        now = Clock::now();
        if ((fds[0].revents & POLLIN) != 0 && readSignals(now)) return 0;
        if (masterIndex >= 0 && pty_.master.valid()) {
            const short revents = fds[static_cast<std::size_t>(masterIndex)].revents;
            if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) readLine(now);
            if ((revents & POLLOUT) != 0 && pty_.master.valid()) writeLine(now);
        }
        if (childIndex >= 0 && child_ && child_->socket().valid()) {
            const short revents = fds[static_cast<std::size_t>(childIndex)].revents;
            if ((revents & POLLOUT) != 0) writeChild();
            if ((revents & (POLLIN | POLLHUP | POLLERR)) != 0) readChild(now);
        }
        if (child_) child_->reap();
    }
}

}  // namespace

int runDevice(const Options& options) {
    try {
        UniqueFd signals = blockSignals();
        std::error_code error;
        fs::create_directories(options.store, error);
        if (error || !fs::is_directory(options.store)) {
            throw std::runtime_error("store " + options.store.string() + ": " +
                                     (error ? error.message() : "not a folder"));
        }
        Store store(options.store);
        EventLog log;
        std::string logError;
        if (!options.logPath.empty() && !log.open(options.logPath.string(), logError)) {
            throw std::runtime_error(logError);
        }
        PtyPair pty = openPty();
        LinkGuard link(options.link, pty.slavePath);
        const std::string slavePath = pty.slavePath;
        DeviceTrace trace;
        if (!options.tracePath.empty()) {
            tracefmt::Heading heading;
            heading.program = "tidewell-devsim";
            heading.version = kTidewellVersion;
            heading.portLabel = options.link.string();
            heading.devicePath = slavePath;
            heading.speed = options.baud.value_or(0);
            heading.started = std::time(nullptr);
            std::string traceError;
            if (!trace.open(options.tracePath.string(), heading, options.traceAllBytes,
                            Clock::now(), traceError)) {
                throw std::runtime_error(traceError);
            }
        }
        Session session(options, store, log, trace, std::move(pty), link, std::move(signals));
        std::printf("%s\n", slavePath.c_str());
        std::fflush(stdout);
        return session.run();
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "tidewell-devsim: %s\n", failure.what());
        return 1;
    }
}

}  // namespace tidewell::devsim
