#include "tidewell/devsim/device.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <random>
#include <utility>

#include "control.h"
#include "text.h"
#include "tidewell/devsim/device_trace.h"
#include "tidewell/devsim/event_log.h"
#include "tidewell/devsim/line_noise.h"
#include "tidewell/devsim/store.h"
#include "transfer.h"
#include "xmodem_receiver.h"
#include "xmodem_sender.h"

namespace tidewell::devsim {

namespace {

constexpr Millis kPromptInterval{100};  // at most one ":LOGIN:" per interval
constexpr Millis kFinalQuiet{1000};     // silence before the final reply...
// ...but no longer after the end than this: a host that keeps sending (one waking
// the device) never leaves the line quiet.
constexpr Millis kFinalQuietLimit{2000};
constexpr std::size_t kMaxLineLength = 1024;
constexpr std::size_t kPacketOnLine = 3 + kLongPayload + 2;
constexpr double kBitsPerByte = 10.0;
constexpr char kMangleBit = 0x04;  // 's' becomes 'w'

constexpr std::string_view kPrompt = ":LOGIN:";
constexpr std::string_view kOk = ":OK:";
constexpr std::string_view kError = ":ERROR:";
constexpr std::string_view kLineEnd = "\r\n";
// --escape-sequences: set the terminal's title, clear its screen.
constexpr std::string_view kEscapes = "\x1b]0;devsim\x07\x1b[2J";
constexpr std::array<std::string_view, 4> kWelcome = {"Tidewell simulated device", "Firmware 1.0",
                                                      "Logged in", kOk};
constexpr std::array<std::string_view, 5> kHelp = {
    "download NAME  receive NAME (XMODEM-1K)", "upload NAME    send NAME (XMODEM-1K)",
    "ls             list the stored files", "help           this list", kOk};

// The mark of a line the device sends, as the trace names it.
const char* markWord(std::string_view line) {
    if (line.find(kOk) != std::string_view::npos) return "ok";
    if (line.find(kError) != std::string_view::npos) return "error";
    return "none";
}

std::string_view trimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

DeviceConfig DeviceConfig::fromOptions(const Options& options) {
    DeviceConfig config;
    config.loginWord = options.loginWord;
    config.bootDelay = options.bootDelay;
    config.transfer = options.transfer;
    config.baud = options.baud;
    config.faults = options.faults;
    return config;
}

struct Device::Impl final : TransferLink {
    enum class State { loggedOut, loggedIn, transfer, external, finishing, flooding, hungUp };
    struct Scheduled {
        TimePoint due;
        std::function<void(TimePoint)> action;
    };

    Impl(DeviceConfig c, Store& s, EventLog& l, TimePoint t)
        : config(std::move(c)),
          store(s),
          log(l),
          start(t),
          now(t),
          rxNoise(config.faults.bitErrorRate, config.faults.seed * 2),
          txNoise(config.faults.bitErrorRate, config.faults.seed * 2 + 1),
          floodNoise(config.faults.seed) {}

    // TransferLink: what the block transfer sends.
    void send(std::span<const std::uint8_t> bytes) override;
    void note(const std::string& text) override { logLine(text); }
    void event(const std::string& text) override {
        if (trace) trace->event(text, now);
    }

    void logLine(std::string_view text) {
        const double seconds = std::chrono::duration<double>(now - start).count();
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%10.3f ", seconds);
        std::string line = stamp;
        line += text;
        log.write(line);
    }

    const Faults& faults() const { return config.faults; }

    void emit(std::span<const std::uint8_t> bytes);
    // afterLogin: the line belongs to the logged-in device (--escape-sequences).
    void emitLine(std::string_view text, bool afterLogin = true);
    void reply(std::vector<std::string> lines);
    void schedule(TimePoint due, std::function<void(TimePoint)> action);

    void receive(std::span<const std::uint8_t> bytes, TimePoint t);
    void dispatch(std::uint8_t byte, TimePoint t);
    void advance(TimePoint t);
    std::optional<TimePoint> nextDeadline() const;
    void hangUp(const std::string& why);
    // The phase faults: true when one took the device over in phase.
    bool hangupFault(FaultPhase phase);
    bool floodFault(FaultPhase phase);
    void produceFlood(std::size_t count);

    void lineByte(std::uint8_t byte);
    void wakeUp();
    void completeLine();
    void loginLine(const std::string& text, bool tooLong);
    void commandLine(const std::string& text, bool tooLong);
    void listFiles();
    void beginTransfer(TransferDirection direction, const std::string& name,
                       std::vector<std::uint8_t> file);
    void checkTransferEnd(TimePoint t);
    void corruptStored(std::vector<std::uint8_t>& data, std::uint64_t offset);
    void finishTransfer(bool succeeded, TimePoint t);
    std::optional<TimePoint> finalDue() const;
    Millis packetLineTime() const;

    DeviceConfig config;
    Store& store;
    EventLog& log;
    DeviceTrace* trace = nullptr;
    TimePoint start;
    TimePoint now;
    State state = State::loggedOut;

    std::string line;
    std::size_t lineLength = 0;  // bytes of the line, kept or not
    std::optional<TimePoint> lastPrompt;
    bool bootNoted = false;
    std::deque<Scheduled> scheduled;
    std::vector<std::uint8_t> output;
    LineNoise rxNoise;
    LineNoise txNoise;
    std::uint64_t received = 0;
    std::uint64_t sent = 0;

    TransferDirection direction = TransferDirection::toDevice;
    std::string transferName;
    std::uint64_t transferSerial = 0;
    std::optional<XmodemReceiver> receiver;
    std::optional<XmodemSender> sender;
    std::optional<ExternalTransfer> externalStart;
    std::vector<std::uint8_t> externalInput;

    std::mt19937 floodNoise;
    std::uint64_t flooded = 0;
    int transferSends = 0;               // sendings of the running block transfer
    std::deque<std::uint8_t> trickling;  // --trickle-ms: bytes not yet sent
    TimePoint trickleDue{};

    std::string finalText;
    bool finalAfterQuiet = false;
    TimePoint finalAt{};
    TimePoint lastInput{};
};

void Device::Impl::emit(std::span<const std::uint8_t> bytes) {
    if (state == State::hungUp) return;
    std::size_t keep = bytes.size();
    bool hangupNow = false;
    if (faults().hangupAtSent && *faults().hangupAtSent <= sent + bytes.size()) {
        keep = static_cast<std::size_t>(*faults().hangupAtSent - sent - 1);
        hangupNow = true;
    }
    std::vector<std::uint8_t> copy(bytes.begin(),
                                   bytes.begin() + static_cast<std::ptrdiff_t>(keep));
    txNoise.apply(copy, [this](std::uint64_t index, int bit) {
        logLine("fault bit-error tx byte " + std::to_string(index + 1) + " bit " +
                std::to_string(bit));
    });
    sent += keep;
    output.insert(output.end(), copy.begin(), copy.end());
    if (hangupNow) {
        hangUp("fault hangup-at-sent " + std::to_string(*faults().hangupAtSent) + ": hanging up");
    }
}

void Device::Impl::emitLine(std::string_view text, bool afterLogin) {
    std::string bytes(text);
    if (faults().escapeSequences && afterLogin) bytes.insert(0, kEscapes);
    logLine("tx line " + escaped(bytes));
    if (trace) trace->event(tracefmt::replyEvent(bytes, markWord(bytes)), now);
    bytes += kLineEnd;
    emit(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

void Device::Impl::schedule(TimePoint due, std::function<void(TimePoint)> action) {
    if (!scheduled.empty()) due = std::max(due, scheduled.back().due);
    scheduled.push_back({due, std::move(action)});
}

void Device::Impl::reply(std::vector<std::string> lines) {
    if (faults().replyDelay.count() > 0) {
        logLine("fault reply-delay: reply due in " + std::to_string(faults().replyDelay.count()) +
                " ms");
    }
    const bool afterLogin = state != State::loggedOut;
    schedule(now + faults().replyDelay, [this, afterLogin, lines = std::move(lines)](TimePoint) {
        for (const auto& text : lines) emitLine(text, afterLogin);
    });
}

void Device::Impl::send(std::span<const std::uint8_t> bytes) {
    if (faults().hangupIn == FaultPhase::transfer && ++transferSends == 2) {
        hangUp("fault hangup-in transfer: hanging up");
        return;
    }
    if (faults().trickle.count() == 0) {
        emit(bytes);
        return;
    }
    if (trickling.empty()) trickleDue = std::max(trickleDue, now);
    trickling.insert(trickling.end(), bytes.begin(), bytes.end());
}

bool Device::Impl::hangupFault(FaultPhase phase) {
    if (faults().hangupIn != phase) return false;
    hangUp("fault hangup-in " + std::string(phaseName(phase)) + ": hanging up");
    return true;
}

bool Device::Impl::floodFault(FaultPhase phase) {
    if (faults().flood == FloodKind::none || faults().floodIn != phase) return false;
    const char* kind = faults().flood == FloodKind::lineFeeds     ? "lf-flood"
                       : faults().flood == FloodKind::endlessLine ? "endless-line"
                                                                  : "noise";
    logLine(std::string("fault ") + kind + " " + std::string(phaseName(phase)) +
            ": flooding from now on");
    state = State::flooding;
    scheduled.clear();
    receiver.reset();
    sender.reset();
    trickling.clear();
    return true;
}

void Device::Impl::produceFlood(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& byte : bytes) {
        switch (faults().flood) {
            case FloodKind::lineFeeds:
                byte = kLf;
                break;
            case FloodKind::endlessLine:
                byte = static_cast<std::uint8_t>('a' + flooded % 26);
                break;
            case FloodKind::noise:
            case FloodKind::none:
                byte = static_cast<std::uint8_t>(floodNoise());
                break;
        }
        ++flooded;
    }
    emit(bytes);
}

void Device::Impl::hangUp(const std::string& why) {
    logLine(why);
    state = State::hungUp;
    scheduled.clear();
    trickling.clear();
    externalStart.reset();
    externalInput.clear();
}

void Device::Impl::receive(std::span<const std::uint8_t> bytes, TimePoint t) {
    advance(t);
    for (std::uint8_t byte : bytes) {
        if (state == State::hungUp) return;
        ++received;
        if (faults().hangupAt && received == *faults().hangupAt) {
            hangUp("fault hangup-at " + std::to_string(received) + ": hanging up");
            return;
        }
        rxNoise.apply(std::span(&byte, 1), [this](std::uint64_t index, int bit) {
            logLine("fault bit-error rx byte " + std::to_string(index + 1) + " bit " +
                    std::to_string(bit));
        });
        dispatch(byte, t);
    }
    advance(t);
}

void Device::Impl::dispatch(std::uint8_t byte, TimePoint t) {
    if (t < start + config.bootDelay) {
        if (!bootNoted) {
            bootNoted = true;
            logLine("booting: input ignored");
        }
        return;
    }
    switch (state) {
        case State::loggedOut:
        case State::loggedIn:
            lineByte(byte);
            return;
        case State::transfer:
            if (receiver) receiver->receive(byte, t);
            if (sender) sender->receive(byte, t);
            checkTransferEnd(t);
            return;
        case State::external:
            externalInput.push_back(byte);
            return;
        case State::finishing:
            lastInput = t;
            return;
        case State::flooding:
        case State::hungUp:
            return;
    }
}

void Device::Impl::lineByte(std::uint8_t byte) {
    if (byte == kCr) {
        completeLine();
        return;
    }
    if (byte == kLf) return;
    if (byte == kWakeUp && lineLength == 0) {
        wakeUp();
        return;
    }
    if (byte < 0x20 || byte == kDel) return;
    ++lineLength;
    if (line.size() < kMaxLineLength) line.push_back(static_cast<char>(byte));
}

void Device::Impl::wakeUp() {
    if (hangupFault(FaultPhase::detection) || floodFault(FaultPhase::detection)) return;
    if (lastPrompt && now - *lastPrompt < kPromptInterval) return;
    lastPrompt = now;
    if (state == State::loggedIn) {
        logLine("wake-up while logged in: waiting for the log-in again");
        state = State::loggedOut;
    }
    if (faults().noPrompt) {
        logLine("fault no-prompt: wake-up not answered");
        return;
    }
    reply({std::string(kPrompt)});
}

void Device::Impl::completeLine() {
    const std::string text = std::move(line);
    const bool tooLong = lineLength > kMaxLineLength;
    line.clear();
    lineLength = 0;
    if (tooLong) {
        logLine("rx line too long, discarded: " + escaped(text, 40));
    } else {
        logLine("rx line " + escaped(text));
    }
    if (text.empty()) return;
    if (trace && !tooLong) trace->event(tracefmt::lineEvent(text), now);
    if (state == State::loggedOut) {
        loginLine(text, tooLong);
    } else {
        commandLine(text, tooLong);
    }
}

void Device::Impl::loginLine(const std::string& text, bool tooLong) {
    if (hangupFault(FaultPhase::login) || floodFault(FaultPhase::login)) return;
    std::vector<std::string> answer;
    const bool otherAnswer = faults().refuseLogin || faults().ignoreLogin || faults().repromptLogin;
    if (!tooLong && text == config.loginWord && !otherAnswer) {
        logLine("login accepted");
        state = State::loggedIn;
        answer.assign(kWelcome.begin(), kWelcome.end());
        reply(std::move(answer));
        return;
    }
    if (!tooLong && text == config.loginWord && faults().ignoreLogin) {
        logLine("fault ignore-login: log-in not answered");
        return;
    }
    if (!tooLong && text == config.loginWord && faults().repromptLogin) {
        logLine("fault reprompt-login: prompt in place of an answer");
        lastPrompt = now;
        reply({std::string(kPrompt)});
        return;
    }
    if (!tooLong && text == config.loginWord) {
        logLine("fault refuse-login: log-in refused");
    } else {
        logLine("login refused: wrong word");
    }
    answer.emplace_back(kError);
    if (faults().noPrompt) {
        logLine("fault no-prompt: prompt not repeated");
    } else {
        answer.emplace_back(kPrompt);
        lastPrompt = now;
    }
    reply(std::move(answer));
}

void Device::Impl::commandLine(const std::string& text, bool tooLong) {
    if (hangupFault(FaultPhase::command) || floodFault(FaultPhase::command)) return;
    if (faults().silentAfterCommand) {
        logLine("fault silent-after-command: no reply");
        return;
    }
    if (tooLong) {
        reply({std::string(kError)});
        return;
    }
    const std::string_view whole = text;
    const auto space = whole.find(' ');
    const std::string_view verb = whole.substr(0, space);
    const std::string_view argument =
        space == std::string_view::npos ? std::string_view() : trimSpaces(whole.substr(space + 1));

    if ((verb == "help" || verb == "ls") && !argument.empty()) {
        reply({std::string(kError)});
        return;
    }
    if (verb == "help") {
        reply(std::vector<std::string>(kHelp.begin(), kHelp.end()));
        return;
    }
    if (verb == "ls") {
        listFiles();
        return;
    }
    if (verb != "download" && verb != "upload") {
        logLine("unknown command");
        reply({std::string(kError)});
        return;
    }
    if (faults().refuseTransfers) {
        logLine("fault refuse-transfers: transfer refused");
        reply({std::string(kError)});
        return;
    }
    std::string name(argument);
    if (verb == "download" && faults().mangleDownloadName && !name.empty()) {
        const std::string original = name;
        name[0] = static_cast<char>(name[0] ^ kMangleBit);
        logLine("fault mangle-download-name: " + escaped(original) + " taken as " + escaped(name));
    }
    if (!Store::validName(name)) {
        logLine("name rejected: " + escaped(name));
        reply({std::string(kError)});
        return;
    }
    if (verb == "download") {
        beginTransfer(TransferDirection::toDevice, name, {});
        return;
    }
    const auto& refused = faults().refuseUpload;
    if (std::find(refused.begin(), refused.end(), name) != refused.end()) {
        logLine("fault refuse-upload: upload " + escaped(name) + " refused");
        reply({std::string(kError)});
        return;
    }
    std::string error;
    auto file = store.load(name, error);
    if (!file) {
        logLine("upload refused: " + error);
        reply({std::string(kError)});
        return;
    }
    beginTransfer(TransferDirection::fromDevice, name, std::move(*file));
}

void Device::Impl::listFiles() {
    std::vector<std::string> lines;
    for (const auto& entry : store.list()) {
        lines.push_back(entry.name + " " + std::to_string(entry.size));
    }
    lines.emplace_back(kOk);
    reply(std::move(lines));
}

Millis Device::Impl::packetLineTime() const {
    // A trickled packet takes its time too, or the sender would send it again meanwhile.
    const Millis trickled = faults().trickle * static_cast<Millis::rep>(kPacketOnLine);
    if (!config.baud) return trickled;
    return trickled +
           Millis(static_cast<Millis::rep>(kPacketOnLine * kBitsPerByte * 1000.0 / *config.baud));
}

void Device::Impl::beginTransfer(TransferDirection dir, const std::string& name,
                                 std::vector<std::uint8_t> file) {
    direction = dir;
    transferName = name;
    const std::uint64_t serial = ++transferSerial;
    transferSends = 0;
    const bool external = config.transfer == TransferMode::lrzsz;
    const bool toDevice = dir == TransferDirection::toDevice;
    logLine(std::string("transfer ") + (toDevice ? "download " : "upload ") + escaped(name) +
            (toDevice ? ": receiving" : ": sending " + std::to_string(file.size()) + " bytes") +
            (external ? " with lrzsz" : ""));
    if (external) {
        state = State::external;
    } else {
        state = State::transfer;
        if (toDevice) {
            receiver.emplace(config.faults, *this, packetLineTime());
        } else {
            sender.emplace(config.faults, *this, std::move(file), packetLineTime());
        }
    }
    if (faults().replyDelay.count() > 0) {
        logLine("fault reply-delay: reply due in " + std::to_string(faults().replyDelay.count()) +
                " ms");
    }
    schedule(now + faults().replyDelay, [this, serial, external](TimePoint at) {
        // The host may have cancelled before the reply was due.
        if (serial != transferSerial) return;
        if (external ? state != State::external : state != State::transfer) return;
        emitLine(kOk);
        if (floodFault(FaultPhase::transfer)) return;
        if (external) {
            externalStart = ExternalTransfer{direction, transferName};
        } else {
            if (receiver) receiver->start(at);
            if (sender) sender->start(at);
            checkTransferEnd(at);
        }
    });
}

void Device::Impl::checkTransferEnd(TimePoint t) {
    if (state != State::transfer) return;
    const TransferEnd end = receiver ? receiver->end()
                            : sender ? sender->end()
                                     : TransferEnd::failed;
    if (end == TransferEnd::running) return;
    bool succeeded = end == TransferEnd::succeeded;
    logLine(std::string("transfer ended: ") + describe(end));
    if (receiver && succeeded) {
        std::vector<std::uint8_t> data = receiver->takeData();
        if (const auto offset = faults().corruptStore) corruptStored(data, *offset);
        std::string error;
        if (store.save(transferName, data, error)) {
            logLine("stored " + escaped(transferName) + " (" + std::to_string(data.size()) +
                    " bytes)");
        } else {
            logLine("store failed: " + error);
            succeeded = false;
        }
    }
    receiver.reset();
    sender.reset();
    finishTransfer(succeeded, t);
}

void Device::Impl::corruptStored(std::vector<std::uint8_t>& data, std::uint64_t offset) {
    const std::string fault = "fault corrupt-store " + std::to_string(offset) + ": ";
    if (offset >= data.size()) {
        logLine(fault + escaped(transferName) + " has " + std::to_string(data.size()) +
                " bytes, stored unchanged");
        return;
    }
    data[offset] = static_cast<std::uint8_t>(~data[offset]);
    logLine(fault + "byte " + std::to_string(offset) + " of " + escaped(transferName) +
            " inverted");
}

void Device::Impl::finishTransfer(bool succeeded, TimePoint t) {
    state = State::finishing;
    ++transferSerial;
    finalText = succeeded ? kOk : kError;
    if (!succeeded && faults().okAfterFailure) {
        logLine("fault ok-after-failure: final reply :OK:");
        finalText = kOk;
    }
    lastInput = t;
    finalAfterQuiet = false;
    finalAt = t;
    switch (faults().finalReply) {
        case FinalReply::never:
            logLine("fault no-final-reply: no final reply");
            state = State::loggedIn;
            return;
        case FinalReply::late:
            logLine("fault final-reply-late: final reply due in " +
                    std::to_string(faults().finalReplyLate.count()) + " ms");
            finalAt = t + faults().finalReplyLate;
            break;
        case FinalReply::early:
            logLine("fault final-reply-early: final reply at once");
            break;
        case FinalReply::normal:
            finalAfterQuiet = !(succeeded && direction == TransferDirection::toDevice);
            break;
    }
    if (faults().replyDelay.count() > 0) {
        logLine("fault reply-delay: reply due in " + std::to_string(faults().replyDelay.count()) +
                " ms");
    }
}

std::optional<TimePoint> Device::Impl::finalDue() const {
    if (state != State::finishing) return std::nullopt;
    const TimePoint base =
        finalAfterQuiet ? std::min(lastInput + kFinalQuiet, finalAt + kFinalQuietLimit) : finalAt;
    return base + faults().replyDelay;
}

void Device::Impl::advance(TimePoint t) {
    now = std::max(now, t);
    for (;;) {
        if (state == State::hungUp) return;
        if (!scheduled.empty() && scheduled.front().due <= now) {
            Scheduled next = std::move(scheduled.front());
            scheduled.pop_front();
            next.action(next.due);
            continue;
        }
        if (state == State::transfer) {
            const auto due = receiver ? receiver->deadline()
                             : sender ? sender->deadline()
                                      : std::nullopt;
            if (due && *due <= now) {
                if (receiver) receiver->advance(now);
                if (sender) sender->advance(now);
                checkTransferEnd(now);
                continue;
            }
        }
        if (!trickling.empty() && trickleDue <= now) {
            const std::uint8_t byte = trickling.front();
            trickling.pop_front();
            emit(std::span(&byte, 1));
            trickleDue = now + faults().trickle;
            continue;
        }
        if (const auto due = finalDue(); due && *due <= now) {
            if (hangupFault(FaultPhase::final) || floodFault(FaultPhase::final)) continue;
            emitLine(finalText);
            if (state == State::finishing) state = State::loggedIn;
            continue;
        }
        return;
    }
}

std::optional<TimePoint> Device::Impl::nextDeadline() const {
    if (state == State::hungUp) return std::nullopt;
    std::optional<TimePoint> next;
    const auto consider = [&next](std::optional<TimePoint> due) {
        if (due && (!next || *due < *next)) next = due;
    };
    if (!scheduled.empty()) consider(scheduled.front().due);
    if (receiver) consider(receiver->deadline());
    if (sender) consider(sender->deadline());
    if (!trickling.empty()) consider(trickleDue);
    consider(finalDue());
    return next;
}

Device::Device(DeviceConfig config, Store& store, EventLog& log, TimePoint start)
    : impl_(std::make_unique<Impl>(std::move(config), store, log, start)) {}

Device::~Device() = default;

void Device::receive(std::span<const std::uint8_t> bytes, TimePoint now) {
    impl_->receive(bytes, now);
}

void Device::advance(TimePoint now) {
    impl_->advance(now);
}

std::optional<Device::TimePoint> Device::nextDeadline() const {
    return impl_->nextDeadline();
}

std::vector<std::uint8_t> Device::takeOutput() {
    return std::exchange(impl_->output, {});
}

bool Device::flooding() const {
    return impl_->state == Impl::State::flooding;
}

void Device::flood(std::size_t count, TimePoint now) {
    impl_->now = std::max(impl_->now, now);
    if (flooding()) impl_->produceFlood(count);
}

bool Device::hungUp() const {
    return impl_->state == Impl::State::hungUp;
}

std::optional<ExternalTransfer> Device::takeExternalStart() {
    return std::exchange(impl_->externalStart, std::nullopt);
}

std::vector<std::uint8_t> Device::takeExternalInput() {
    return std::exchange(impl_->externalInput, {});
}

void Device::externalOutput(std::span<const std::uint8_t> bytes, TimePoint now) {
    impl_->advance(now);
    if (impl_->state == Impl::State::external) impl_->emit(bytes);
}

void Device::externalFinished(bool succeeded, TimePoint now) {
    impl_->advance(now);
    if (impl_->state != Impl::State::external) return;
    impl_->logLine(std::string("transfer ended: ") + (succeeded ? "succeeded" : "failed") +
                   " (lrzsz)");
    impl_->finishTransfer(succeeded, now);
    impl_->advance(now);
}

void Device::setTrace(DeviceTrace* trace) {
    impl_->trace = trace;
}

void Device::note(std::string_view text, TimePoint now) {
    impl_->now = std::max(impl_->now, now);
    impl_->logLine(text);
}

}  // namespace tidewell::devsim
