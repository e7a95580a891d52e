#include "tidewell/devsim/options.h"

#include <charconv>
#include <limits>
#include <system_error>

#include "tidewell/devsim/store.h"

namespace tidewell::devsim {

namespace {

constexpr std::uint64_t kMaxMillis = 24ull * 3600 * 1000;
constexpr std::uint64_t kMaxBaud = 4'000'000;
constexpr std::size_t kMaxLoginWord = 64;

template <typename T>
bool parseNumber(std::string_view text, T& out) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size();
}

constexpr FaultPhase kPhases[] = {FaultPhase::detection, FaultPhase::login, FaultPhase::command,
                                  FaultPhase::transfer, FaultPhase::final};

bool validLoginWord(std::string_view word) {
    if (word.empty() || word.size() > kMaxLoginWord || word.front() == ' ') return false;
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
    }
    return true;
}

class Parser {
  public:
    explicit Parser(std::span<const std::string_view> args) : args_(args) {}

    ParsedOptions run();

  private:
    bool fail(std::string message) {
        if (result_.error.empty()) result_.error = std::move(message);
        return false;
    }
    bool takeValue(std::string_view name, std::string_view& value);
    bool takeCount(std::string_view name, std::uint64_t min, std::uint64_t max, std::uint64_t& out);
    bool takeMillis(std::string_view name, std::chrono::milliseconds& out);
    bool takePhase(std::string_view name, FaultPhase& out);
    bool takeFlood(std::string_view name, FloodKind kind);
    bool handle(std::string_view name);

    std::span<const std::string_view> args_;
    std::size_t index_ = 0;
    std::optional<std::string_view> inlineValue_;
    ParsedOptions result_;
    bool haveLink_ = false;
    int finalReplyFlags_ = 0;
};

bool Parser::takeValue(std::string_view name, std::string_view& value) {
    if (inlineValue_) {
        value = *inlineValue_;
        return true;
    }
    if (index_ + 1 >= args_.size()) return fail(std::string(name) + " needs a value");
    value = args_[++index_];
    return true;
}

bool Parser::takeCount(std::string_view name, std::uint64_t min, std::uint64_t max,
                       std::uint64_t& out) {
    std::string_view value;
    if (!takeValue(name, value)) return false;
    if (!parseNumber(value, out) || out < min || out > max) {
        return fail(std::string(name) + ": expected a whole number from " + std::to_string(min) +
                    " to " + std::to_string(max) + ", got \"" + std::string(value) + "\"");
    }
    return true;
}

bool Parser::takeMillis(std::string_view name, std::chrono::milliseconds& out) {
    std::uint64_t count = 0;
    if (!takeCount(name, 0, kMaxMillis, count)) return false;
    out = std::chrono::milliseconds(count);
    return true;
}

bool Parser::takePhase(std::string_view name, FaultPhase& out) {
    std::string_view value;
    if (!takeValue(name, value)) return false;
    for (const FaultPhase phase : kPhases) {
        if (value == phaseName(phase)) {
            out = phase;
            return true;
        }
    }
    return fail(std::string(name) +
                ": expected detection, login, command, transfer or final, got \"" +
                std::string(value) + "\"");
}

bool Parser::takeFlood(std::string_view name, FloodKind kind) {
    if (result_.options.faults.flood != FloodKind::none) {
        return fail("--lf-flood, --endless-line and --noise exclude each other");
    }
    result_.options.faults.flood = kind;
    return takePhase(name, result_.options.faults.floodIn);
}

bool Parser::handle(std::string_view name) {
    Options& o = result_.options;
    Faults& f = o.faults;
    std::string_view value;
    std::uint64_t count = 0;

    const auto flag = [&](bool& target) {
        if (inlineValue_) return fail(std::string(name) + " takes no value");
        target = true;
        return true;
    };
    const auto packet = [&](std::optional<std::uint64_t>& target) {
        if (!takeCount(name, 1, std::numeric_limits<std::uint32_t>::max(), count)) return false;
        target = count;
        return true;
    };

    if (name == "--help" || name == "-h") return flag(result_.helpRequested);
    if (name == "--version") return flag(result_.versionRequested);
    if (name == "--link") {
        if (!takeValue(name, value)) return false;
        if (value.empty()) return fail("--link needs a path");
        o.link = std::string(value);
        haveLink_ = true;
        return true;
    }
    if (name == "--store") {
        if (!takeValue(name, value)) return false;
        if (value.empty()) return fail("--store needs a folder");
        o.store = std::string(value);
        return true;
    }
    if (name == "--login") {
        if (!takeValue(name, value)) return false;
        if (!validLoginWord(value)) {
            return fail(
                "--login: the word must be 1 to 64 printable characters, not starting "
                "with a space");
        }
        o.loginWord = std::string(value);
        return true;
    }
    if (name == "--baud") {
        if (!takeCount(name, 1, kMaxBaud, count)) return false;
        o.baud = static_cast<std::uint32_t>(count);
        return true;
    }
    if (name == "--throttle-input") return flag(o.throttleInput);
    if (name == "--boot-ms") return takeMillis(name, o.bootDelay);
    if (name == "--transfer") {
        if (!takeValue(name, value)) return false;
        if (value == "builtin") {
            o.transfer = TransferMode::builtin;
        } else if (value == "lrzsz") {
            o.transfer = TransferMode::lrzsz;
        } else {
            return fail("--transfer: expected builtin or lrzsz, got \"" + std::string(value) +
                        "\"");
        }
        return true;
    }
    if (name == "--log") {
        if (!takeValue(name, value)) return false;
        if (value.empty()) return fail("--log needs a file");
        o.logPath = std::string(value);
        return true;
    }
    if (name == "--trace") {
        if (!takeValue(name, value)) return false;
        if (value.empty()) return fail("--trace needs a file");
        o.tracePath = std::string(value);
        return true;
    }
    if (name == "--trace-bytes") {
        if (!takeValue(name, value)) return false;
        if (value != "all" && value != "bounded") {
            return fail("--trace-bytes: expected all or bounded, got \"" + std::string(value) +
                        "\"");
        }
        o.traceAllBytes = value == "all";
        return true;
    }
    if (name == "--no-prompt") return flag(f.noPrompt);
    if (name == "--refuse-login") return flag(f.refuseLogin);
    if (name == "--ignore-login") return flag(f.ignoreLogin);
    if (name == "--reprompt-login") return flag(f.repromptLogin);
    if (name == "--refuse-transfers") return flag(f.refuseTransfers);
    if (name == "--silent-after-command") return flag(f.silentAfterCommand);
    if (name == "--reply-delay") return takeMillis(name, f.replyDelay);
    if (name == "--corrupt-packet") return packet(f.corruptPacket);
    if (name == "--corrupt-every-packet") return flag(f.corruptEveryPacket);
    if (name == "--drop-ack") return packet(f.dropAck);
    if (name == "--cancel-at") return packet(f.cancelAt);
    if (name == "--late-answer") {
        if (!takeValue(name, value)) return false;
        const auto colon = value.find(':');
        std::uint64_t millis = 0;
        if (colon == std::string_view::npos || !parseNumber(value.substr(0, colon), count) ||
            count == 0 || !parseNumber(value.substr(colon + 1), millis) || millis == 0 ||
            millis > kMaxMillis) {
            return fail("--late-answer: expected K:MS (packet K from 1, MS from 1 to " +
                        std::to_string(kMaxMillis) + "), got \"" + std::string(value) + "\"");
        }
        f.lateAnswer = count;
        f.lateAnswerDelay = std::chrono::milliseconds(millis);
        return true;
    }
    if (name == "--no-transfer-start") return flag(f.noTransferStart);
    if (name == "--bit-error-rate") {
        if (!takeValue(name, value)) return false;
        double rate = 0.0;
        if (!parseNumber(value, rate) || !(rate >= 0.0 && rate <= 1.0)) {
            return fail("--bit-error-rate: expected a probability from 0 to 1, got \"" +
                        std::string(value) + "\"");
        }
        f.bitErrorRate = rate;
        return true;
    }
    if (name == "--seed") {
        if (!takeCount(name, 0, std::numeric_limits<std::uint64_t>::max(), count)) return false;
        f.seed = count;
        return true;
    }
    if (name == "--hangup-at") return packet(f.hangupAt);
    if (name == "--hangup-at-sent") return packet(f.hangupAtSent);
    if (name == "--no-final-reply") {
        ++finalReplyFlags_;
        f.finalReply = FinalReply::never;
        return !inlineValue_ || fail(std::string(name) + " takes no value");
    }
    if (name == "--final-reply-early") {
        ++finalReplyFlags_;
        f.finalReply = FinalReply::early;
        return !inlineValue_ || fail(std::string(name) + " takes no value");
    }
    if (name == "--final-reply-late") {
        ++finalReplyFlags_;
        f.finalReply = FinalReply::late;
        return takeMillis(name, f.finalReplyLate);
    }
    if (name == "--ok-after-failure") return flag(f.okAfterFailure);
    if (name == "--hangup-in") {
        FaultPhase phase{};
        if (!takePhase(name, phase)) return false;
        f.hangupIn = phase;
        return true;
    }
    if (name == "--lf-flood") return takeFlood(name, FloodKind::lineFeeds);
    if (name == "--endless-line") return takeFlood(name, FloodKind::endlessLine);
    if (name == "--noise") return takeFlood(name, FloodKind::noise);
    if (name == "--trickle-ms") {
        if (!takeCount(name, 1, 60'000, count)) return false;
        f.trickle = std::chrono::milliseconds(count);
        return true;
    }
    if (name == "--corrupt-store") {
        if (!takeCount(name, 0, std::numeric_limits<std::uint32_t>::max(), count)) return false;
        f.corruptStore = count;
        return true;
    }
    if (name == "--refuse-upload") {
        if (!takeValue(name, value)) return false;
        if (!Store::validName(value)) {
            return fail("--refuse-upload: \"" + std::string(value) + "\" is not a file name");
        }
        f.refuseUpload.emplace_back(value);
        return true;
    }
    if (name == "--mangle-download-name") return flag(f.mangleDownloadName);
    if (name == "--escape-sequences") return flag(f.escapeSequences);
    return fail("unknown option \"" + std::string(name) + "\"");
}

ParsedOptions Parser::run() {
    for (index_ = 0; index_ < args_.size(); ++index_) {
        std::string_view name = args_[index_];
        inlineValue_.reset();
        if (name.starts_with("--")) {
            const auto equals = name.find('=');
            if (equals != std::string_view::npos) {
                inlineValue_ = name.substr(equals + 1);
                name = name.substr(0, equals);
            }
        }
        if (!handle(name)) return result_;
    }
    if (result_.helpRequested || result_.versionRequested) return result_;
    const Options& o = result_.options;
    if (!haveLink_)
        fail("--link PATH is required");
    else if (finalReplyFlags_ > 1) {
        fail("--no-final-reply, --final-reply-late and --final-reply-early exclude each other");
    } else if (o.transfer == TransferMode::lrzsz && o.faults.hasPacketFaults()) {
        fail(
            "--corrupt-packet, --corrupt-every-packet, --drop-ack, --cancel-at and --late-answer "
            "need "
            "--transfer builtin");
    } else if (o.transfer == TransferMode::lrzsz &&
               (o.faults.trickle.count() > 0 || o.faults.hangupIn == FaultPhase::transfer)) {
        fail("--trickle-ms and --hangup-in transfer need --transfer builtin");
    } else if (o.transfer == TransferMode::lrzsz && o.faults.corruptStore) {
        fail("--corrupt-store needs --transfer builtin");
    } else if (o.throttleInput && !o.baud) {
        fail("--throttle-input needs --baud");
    }
    return result_;
}

}  // namespace

std::string_view phaseName(FaultPhase phase) {
    switch (phase) {
        case FaultPhase::detection:
            return "detection";
        case FaultPhase::login:
            return "login";
        case FaultPhase::command:
            return "command";
        case FaultPhase::transfer:
            return "transfer";
        case FaultPhase::final:
            return "final";
    }
    return "?";
}

ParsedOptions parseOptions(std::span<const std::string_view> args) {
    return Parser(args).run();
}

std::string usage() {
    return R"(Usage: tidewell-devsim --link PATH [options]

Plays a device on a pseudo-terminal: links PATH to the terminal's slave side,
prints the slave's path on one line when ready, and runs until SIGINT or
SIGTERM (exit code 0), removing the link.

The device:
  --link PATH            symbolic link to create (a stale link is replaced)
  --store DIR            folder of the device's files (default: .; created)
  --login WORD           log-in word (default: pivot)
  --baud N               send at most N/10 bytes per second (default: no limit)
  --throttle-input       with --baud: also read the host's bytes at that rate
  --boot-ms N            ignore everything for N ms after start
  --transfer MODE        builtin (default) or lrzsz (rx -c / sx -k do the
                         block transfer on the same line)
  --log FILE             one line per event: lines received and sent,
                         packets and verdicts, faults applied
  --trace FILE           the protocol trace from the device's side, in the
                         format of tidewell-cli --trace ('>' what the device
                         wrote, '<' what it read)
  --trace-bytes MODE     all: every byte of a long chunk in the trace;
                         bounded (the default): its first and last 16 bytes
  -h, --help             this text
  --version              print the version

Faults (packet K counts the packets of one transfer from 1):
  --no-prompt            never answer wake-up bytes with ":LOGIN:"
  --refuse-login         answer every log-in word with ":ERROR:"
  --ignore-login         answer the log-in word with nothing at all
  --reprompt-login       answer the log-in word with ":LOGIN:" again, no ":OK:"
  --refuse-transfers     answer "download" and "upload" lines with ":ERROR:"
  --silent-after-command answer no command line after log-in
  --reply-delay MS       wait MS before every reply line
  --corrupt-packet K     send packet K corrupted once / take it as corrupt once
  --corrupt-every-packet send every packet corrupted / take every one as corrupt
  --drop-ack K           lose the ACK of packet K once (the host repeats it)
  --cancel-at K          send CAN CAN in place of packet K (sender) or of its
                         ACK (receiver)
  --late-answer K:MS     answer packet K MS ms late the first time, reading
                         nothing meanwhile (receiver), or send packet K MS ms
                         late (sender)
  --no-transfer-start    answer transfer lines with ":OK:", then never start
  --bit-error-rate R     flip each bit on the line, both ways, with probability R
  --seed N               seed of the bit errors (default: 1)
  --hangup-at K          hang up when the K-th byte from the host arrives
  --hangup-at-sent K     hang up in place of sending the K-th byte
  --no-final-reply       send no line after a transfer
  --final-reply-late MS  send the line after a transfer MS after its end
  --final-reply-early    send the line after a transfer at once after its end
                         (by default: at once after a received file, else
                         after one second of silence, two seconds after the
                         end at the latest)
  --ok-after-failure     final line ":OK:" also after a failed or cancelled
                         transfer (default: ":ERROR:")
  --corrupt-store OFFSET invert the byte at OFFSET (from 0) of every file the
                         device stores; needs --transfer builtin
  --refuse-upload NAME   answer "upload NAME" with ":ERROR:" (repeatable)
  --mangle-download-name store the file of "download NAME" under NAME with
                         bit 2 of its first byte flipped ("setting" becomes
                         "wetting"), answering ":OK:" as usual
  --escape-sequences     start every line after the log-in with terminal escape
                         sequences (set the window title, clear the screen)
  --trickle-ms N         send what a block transfer sends one byte every N ms
  --hangup-in PHASE      hang up in PHASE (below)
  --lf-flood PHASE       from PHASE on, send line feeds without end
  --endless-line PHASE   from PHASE on, send text without end and without CR
  --noise PHASE          from PHASE on, send random bytes without end
                         (one flood at a time; the device then reads and
                         ignores everything)

Phases, each in place of the device's answer:
  detection              the first wake-up
  login                  a log-in word
  command                a command line after log-in (a transfer line too)
  transfer               the block transfer: after ":OK:" to a transfer line,
                         a flood comes in place of the transfer, and a
                         hang-up in place of the device's second sending
                         (its second packet, or its ACK of the first one)
  final                  the line after a transfer

Commands after log-in (lines end with CR; LF is ignored):
  download NAME          receive NAME (XMODEM-1K, CRC-16 or checksum)
  upload NAME            send NAME (1024-byte packets)
  ls                     list the stored files
  help                   list the commands

Exit status:
  0                      stopped by SIGINT or SIGTERM, or --help or --version
  1                      cannot start (pseudo-terminal, link, store or log file)
  2                      bad command line
)";
}

}  // namespace tidewell::devsim
