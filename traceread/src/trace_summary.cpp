#include "tidewell/traceread/trace_summary.h"

#include <algorithm>
#include <charconv>

namespace tidewell::traceread {

namespace {

using tracefmt::Record;
using tracefmt::RecordKind;

constexpr double kBitsPerByte = 10;  // start bit, eight data bits, stop bit

std::uint64_t count(const std::string& field) {
    std::uint64_t value = 0;
    std::from_chars(field.data(), field.data() + field.size(), value);
    return value;
}

// What one transfer's block events leave to be counted, from either end.
struct BlockState {
    // Receiving packets.
    bool packetSeen = false;
    std::uint8_t lastNumber = 0;
    bool lastFailed = false;  // a bad or incomplete packet: the next one is its resend
    std::uint8_t expected = 1;
    bool endReceived = false;  // EOT received
    // Sending them.
    bool sendSeen = false;
    std::uint8_t lastSent = 0;
    std::uint64_t lastSentSize = 0;
    bool lastAcknowledged = false;
    bool endSent = false;  // EOT sent
    // Either.
    bool done = false;  // the end acknowledged, or cancelled
    std::optional<double> firstBlock;
    double lastBlock = 0;
    bool afterBlocks = false;  // a reply now is the final one
};

class Summarizer {
  public:
    Summarizer(const tracefmt::ParsedTrace& trace, const TransferWords& words)
        : trace_(trace), words_(words) {
        summary_.heading = trace.heading;
        summary_.parseError = trace.error;
        summary_.lastLine =
            trace.records.empty() ? tracefmt::kHeadingLines : trace.records.back().line;
        postsResults_ = std::any_of(trace.records.begin(), trace.records.end(),
                                    [](const Record& r) { return r.event.word == "result"; });
    }

    TraceSummary run() {
        for (const Record& record : trace_.records) {
            if (record.kind == RecordKind::event) {
                if (record.event.word == "limit") {
                    summary_.limitBytes = count(record.event.fields[0]);
                    closeTransfer(TransferEnd::traceLimit);
                    break;
                }
                event(record);
            } else {
                chunk(record);
            }
        }
        closeTransfer(TransferEnd::cutShort);
        return std::move(summary_);
    }

  private:
    Command* command() { return open_ ? &summary_.commands.back() : nullptr; }
    Transfer* transfer() {
        Command* c = command();
        return c && c->transfer && transferOpen_ ? &*c->transfer : nullptr;
    }

    double lineTimeMs(std::size_t bytes) const {
        const auto speed = summary_.heading.speed;
        return speed == 0 ? 0 : static_cast<double>(bytes) * kBitsPerByte * 1000.0 / speed;
    }

    void chunk(const Record& record) {
        if (pendingAfter_) {
            summary_.commands[*pendingAfter_].transfer->firstAnomaly->after = record.text;
            pendingAfter_.reset();
        }
        if (Transfer* t = transfer()) {
            if (lastChunk_ && lastChunk_->line > transferLine_) {
                const double gap = record.milliseconds - lastChunk_->milliseconds -
                                   lineTimeMs(lastChunk_->chunk.length);
                t->longestSilenceMs = std::max(t->longestSilenceMs, gap);
            }
            lastInTransfer_ = record.milliseconds;
        }
        lastChunk_ = &record;
        if (closeAfterChunk_) {
            closeTransfer(TransferEnd::finished);
            open_ = false;
        }
    }

    void event(const Record& record) {
        const std::string& word = record.event.word;
        const auto& fields = record.event.fields;
        if (word == "line") return commandLine(record);
        if (word == "reply") return reply(record, fields[0], fields[1]);
        if (word == "result") {
            const std::string name = fields[1].empty() ? fields[0] : fields[1];
            if (Command* c = command()) c->result = name;
            if (Transfer* t = transfer()) {
                t->result = name;
                lastInTransfer_ = record.milliseconds;
                closeTransfer(TransferEnd::result);
            }
            open_ = false;
            return;
        }
        Transfer* t = transfer();
        if (!t) return;
        lastInTransfer_ = record.milliseconds;
        if (word == "start" || word == "packet" || word == "send" || word == "ack" ||
            word == "nak" || word == "can" || word == "eot") {
            if (!blocks_.firstBlock) blocks_.firstBlock = record.milliseconds;
            blocks_.lastBlock = record.milliseconds;
            blocks_.afterBlocks = true;
        }
        const bool out = !fields.empty() && fields[0] == "out";
        if (word == "packet") {
            packet(*t, record, static_cast<std::uint8_t>(count(fields[0])), count(fields[1]),
                   fields[2] == "good");
        } else if (word == "send") {
            send(*t, static_cast<std::uint8_t>(count(fields[0])), count(fields[1]));
        } else if (word == "ack") {
            acknowledged(*t, out);
        } else if (word == "nak") {
            if (out) blocks_.lastFailed = true;
            // Before any packet a NAK is a start request.
            if (blocks_.packetSeen || blocks_.sendSeen) {
                anomaly(*t, record, out ? "NAK sent" : "NAK received");
            }
        } else if (word == "can") {
            blocks_.done = true;
            anomaly(*t, record, out ? "CAN sent" : "CAN received");
        } else if (word == "eot") {
            (out ? blocks_.endSent : blocks_.endReceived) = true;
        } else if (word == "timeout") {
            if (fields[0] == "body") blocks_.lastFailed = true;
            anomaly(*t, record, "time-out: " + fields[0] + " (" + fields[1] + " ms)");
        }
    }

    void commandLine(const Record& record) {
        closeTransfer(TransferEnd::nextCommand);
        Command c;
        c.line = record.line;
        c.milliseconds = record.milliseconds;
        c.text = record.event.fields[0];
        const bool toDevice = c.text.starts_with(words_.toDevice);
        if (toDevice || c.text.starts_with(words_.fromDevice)) {
            c.transfer.emplace();
            c.transfer->toDevice = toDevice;
            transferOpen_ = true;
            transferStart_ = record.milliseconds;
            transferLine_ = record.line;
            lastInTransfer_ = record.milliseconds;
            blocks_ = {};
        }
        summary_.commands.push_back(std::move(c));
        open_ = true;
    }

    void reply(const Record& record, const std::string& text, const std::string& mark) {
        Command* c = command();
        if (!c) return;
        if (c->mark.empty() || c->mark == "none") {
            c->reply = text;
            c->mark = mark;
        }
        Transfer* t = transfer();
        if (!t || mark == "none") return;
        lastInTransfer_ = record.milliseconds;
        if (mark == "error") anomaly(*t, record, "refused: " + tracefmt::quoted(text));
        const bool refused = !blocks_.afterBlocks && mark == "error";
        if (blocks_.afterBlocks || refused) {
            finalMark_ = mark;
            if (refused) blocks_.done = true;
        }
        // A side that posts no results ends a transfer with the reply after its blocks,
        // once its bytes are on the line.
        if (!postsResults_ && blocks_.done) closeAfterChunk_ = true;
    }

    void packet(Transfer& t, const Record& record, std::uint8_t number, std::uint64_t size,
                bool good) {
        if (blocks_.packetSeen && (number == blocks_.lastNumber || blocks_.lastFailed)) {
            ++t.retries;
        }
        blocks_.packetSeen = true;
        blocks_.lastNumber = number;
        blocks_.lastFailed = !good;
        if (!good) {
            ++t.failedChecks;
            anomaly(t, record, "packet " + std::to_string(number) + " failed its check");
        } else if (number == blocks_.expected) {
            ++t.packets;
            t.bytes += size;
            ++blocks_.expected;
        }
    }

    void send(Transfer& t, std::uint8_t number, std::uint64_t size) {
        if (blocks_.sendSeen && number == blocks_.lastSent && !blocks_.lastAcknowledged) {
            ++t.retries;
        }
        blocks_.sendSeen = true;
        blocks_.lastSent = number;
        blocks_.lastSentSize = size;
        blocks_.lastAcknowledged = false;
    }

    void acknowledged(Transfer& t, bool out) {
        if (out ? blocks_.endReceived : blocks_.endSent) {
            blocks_.done = true;
        } else if (!out && blocks_.sendSeen && !blocks_.lastAcknowledged) {
            blocks_.lastAcknowledged = true;
            ++t.packets;
            t.bytes += blocks_.lastSentSize;
        }
    }

    void anomaly(Transfer& t, const Record& record, std::string text) {
        if (t.firstAnomaly) return;
        t.firstAnomaly = Anomaly{record.milliseconds, record.line, std::move(text),
                                 lastChunk_ ? lastChunk_->text : "", ""};
        pendingAfter_ = summary_.commands.size() - 1;
    }

    void closeTransfer(TransferEnd end) {
        Transfer* t = transfer();
        if (!t) return;
        transferOpen_ = false;
        closeAfterChunk_ = false;
        if (end == TransferEnd::cutShort && !postsResults_ && blocks_.done) {
            end = TransferEnd::finished;
        }
        t->end = end;
        if (t->result.empty()) t->result = finalMark_;
        finalMark_.clear();
        // A trace whose times go back costs nothing here, however odd.
        t->durationMs = std::max(0.0, lastInTransfer_ - transferStart_);
        if (blocks_.firstBlock)
            t->blocksMs = std::max(0.0, blocks_.lastBlock - *blocks_.firstBlock);
        if (t->blocksMs > 0) {
            t->bytesPerSecond = static_cast<double>(t->bytes) * 1000.0 / t->blocksMs;
            const auto speed = summary_.heading.speed;
            if (speed > 0) t->lineShare = *t->bytesPerSecond / (speed / kBitsPerByte);
        }
    }

    const tracefmt::ParsedTrace& trace_;
    TransferWords words_;
    TraceSummary summary_;
    bool postsResults_ = false;
    bool open_ = false;          // the last command still takes replies
    bool transferOpen_ = false;  // ... and is a transfer not yet ended
    bool closeAfterChunk_ = false;
    double transferStart_ = 0;
    std::size_t transferLine_ = 0;
    double lastInTransfer_ = 0;
    BlockState blocks_;
    std::string finalMark_;
    const Record* lastChunk_ = nullptr;
    std::optional<std::size_t> pendingAfter_;  // the command whose anomaly waits for a chunk
};

}  // namespace

std::optional<tracefmt::ParseError> TraceSummary::problem() const {
    if (parseError) return parseError;
    if (commands.empty() || !commands.back().transfer ||
        commands.back().transfer->end != TransferEnd::cutShort) {
        return std::nullopt;
    }
    const Command& last = commands.back();
    return tracefmt::ParseError{lastLine, "the trace ends inside the transfer " +
                                              tracefmt::quoted(last.text) + " of line " +
                                              std::to_string(last.line) + ", before its result"};
}

TraceSummary summarize(const tracefmt::ParsedTrace& trace, const TransferWords& words) {
    return Summarizer(trace, words).run();
}

}  // namespace tidewell::traceread
