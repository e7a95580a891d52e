#include "tidewell/tracefmt/trace_format.h"

#include <cstdio>

#include "local_time.h"

namespace tidewell::tracefmt {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

void appendHex(std::string& out, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += ' ';
        out += kHexDigits[bytes[i] >> 4];
        out += kHexDigits[bytes[i] & 0x0F];
    }
}

void appendPrintable(std::string& out, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        out += byte >= 0x20 && byte <= 0x7e ? static_cast<char>(byte) : '.';
    }
}

}  // namespace

std::string startedText(std::time_t started) {
    return detail::localTimeText(started);
}

std::string headingText(const Heading& heading) {
    const std::string started = detail::localTimeText(heading.started);
    return "# tidewell trace " + std::to_string(kFormatVersion) + "\n# program " + heading.program +
           " " + heading.version + "\n# port " + heading.portLabel + " " + heading.devicePath +
           "\n# speed " + std::to_string(heading.speed) + "\n# started " + started + "\n";
}

std::string recordLine(double milliseconds, RecordKind kind, std::string_view rest) {
    char stamp[32];
    const int length =
        std::snprintf(stamp, sizeof stamp, "%10.3f %c ", milliseconds, static_cast<char>(kind));
    std::string line(stamp, static_cast<std::size_t>(length));
    line += rest;
    line += '\n';
    return line;
}

std::string chunkText(std::span<const std::uint8_t> bytes, bool allBytes) {
    std::string text;
    text.reserve(bytes.size() * 4 + 32);
    if (allBytes || bytes.size() <= kBoundedChunk) {
        appendHex(text, bytes);
        text += "  |";
        appendPrintable(text, bytes);
    } else {
        const auto head = bytes.first(kEdgeBytes);
        const auto tail = bytes.last(kEdgeBytes);
        appendHex(text, head);
        text += " .. " + std::to_string(bytes.size()) + " bytes .. ";
        appendHex(text, tail);
        text += "  |";
        appendPrintable(text, head);
        text += "..";
        appendPrintable(text, tail);
    }
    text += '|';
    return text;
}

std::string ChunkRun::add(double milliseconds, RecordKind kind, std::span<const std::uint8_t> bytes,
                          bool allBytes) {
    const bool joins = !bytes_.empty() && kind == kind_ && milliseconds - last_ <= kRunGapMs &&
                       bytes_.size() + bytes.size() <= kRunBytes;
    std::string ended = joins ? std::string() : take(allBytes);
    if (bytes_.empty()) {
        kind_ = kind;
        first_ = milliseconds;
    }
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    last_ = milliseconds;
    return ended;
}

std::string ChunkRun::take(bool allBytes) {
    if (bytes_.empty()) return {};
    std::string line = recordLine(first_, kind_, chunkText(bytes_, allBytes));
    bytes_.clear();
    return line;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0x0F];
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string lineEvent(std::string_view line) {
    return "line " + quoted(line);
}

std::string replyEvent(std::string_view line, std::string_view mark) {
    return "reply " + quoted(line) + " " + std::string(mark);
}

std::string startEvent(bool crc) {
    return crc ? "start C" : "start NAK";
}

std::string packetEvent(std::uint8_t number, std::size_t size, bool good) {
    return "packet " + std::to_string(number) + " " + std::to_string(size) +
           (good ? " good" : " bad");
}

std::string sendEvent(std::uint8_t number, std::size_t size) {
    return "send " + std::to_string(number) + " " + std::to_string(size);
}

std::string controlEvent(Control what, bool sent) {
    static constexpr const char* kWords[] = {"ack", "nak", "can", "eot"};
    return std::string(kWords[static_cast<int>(what)]) + (sent ? " out" : " in");
}

std::string timeoutEvent(std::string_view what, long long milliseconds) {
    return "timeout " + std::string(what) + " " + std::to_string(milliseconds);
}

std::string limitEvent(std::size_t bytes) {
    return "limit " + std::to_string(bytes);
}

}  // namespace tidewell::tracefmt
