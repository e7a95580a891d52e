#include "tidewell/tracefmt/trace_parse.h"

#include <charconv>
#include <ctime>

#include "local_time.h"

namespace tidewell::tracefmt {

namespace {

constexpr std::size_t kShownTextLimit = 40;  // of a wrong field quoted in an error

// The text shown after "got": short, and visible.
std::string got(std::string_view text) {
    if (text.empty()) return "nothing";
    const bool cut = text.size() > kShownTextLimit;
    return quoted(text.substr(0, kShownTextLimit)) + (cut ? "..." : "");
}

std::optional<ParseError> failure(std::size_t line, std::string what) {
    return ParseError{line, std::move(what)};
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // the writer writes lowercase only
}

template <typename T>
bool parseNumber(std::string_view text, T& value) {
    if (text.empty() || text.front() == '+' || (text.size() > 1 && text[0] == '0')) return false;
    if (text.size() > 1 && text[0] == '-' && text[1] == '0') return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool printable(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7e;
}

std::string column(const std::vector<std::uint8_t>& bytes, std::size_t from, std::size_t to) {
    std::string text;
    for (std::size_t i = from; i < to; ++i) text += printable(bytes[i]) ? char(bytes[i]) : '.';
    return text;
}

// The hex pairs of a chunk from `at`, separated by single spaces; stops before any
// other character.
void hexPairs(std::string_view text, std::size_t& at, std::vector<std::uint8_t>& bytes) {
    while (at + 2 <= text.size()) {
        const int high = hexValue(text[at]);
        const int low = hexValue(text[at + 1]);
        if (high < 0 || low < 0) return;
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        at += 2;
        if (at + 2 < text.size() && text[at] == ' ' && hexValue(text[at + 1]) >= 0) {
            ++at;
        } else {
            return;
        }
    }
}

std::optional<ParseError> parseChunk(std::string_view text, std::size_t line, ChunkBytes& chunk) {
    chunk = {};
    std::size_t at = 0;
    hexPairs(text, at, chunk.shown);
    chunk.headSize = chunk.shown.size();
    chunk.length = chunk.shown.size();
    constexpr std::string_view kGapStart = " .. ";
    constexpr std::string_view kGapEnd = " bytes .. ";
    if (text.substr(at).starts_with(kGapStart)) {
        at += kGapStart.size();
        const std::size_t end = text.find(kGapEnd, at);
        if (end == std::string_view::npos ||
            !parseNumber(text.substr(at, end - at), chunk.length)) {
            return failure(line, "expected \" .. N bytes .. \" in a chunk, got " +
                                     got(text.substr(at - kGapStart.size())));
        }
        at = end + kGapEnd.size();
        hexPairs(text, at, chunk.shown);
        if (chunk.headSize != kEdgeBytes || chunk.shown.size() != 2 * kEdgeBytes ||
            chunk.length <= kBoundedChunk) {
            return failure(line, "a bounded chunk of " + std::to_string(chunk.length) +
                                     " bytes shows " + std::to_string(chunk.headSize) + " and " +
                                     std::to_string(chunk.shown.size() - chunk.headSize) +
                                     " bytes, not its first and last " +
                                     std::to_string(kEdgeBytes));
        }
    }
    if (!text.substr(at).starts_with("  |") || text.back() != '|' || text.size() < at + 4) {
        return failure(line, "expected hex bytes, then \"  |\" and the printable column, got " +
                                 got(text.substr(at)));
    }
    const std::string_view shownColumn = text.substr(at + 3, text.size() - at - 4);
    const std::string wanted = chunk.whole()
                                   ? column(chunk.shown, 0, chunk.shown.size())
                                   : column(chunk.shown, 0, chunk.headSize) + ".." +
                                         column(chunk.shown, chunk.headSize, chunk.shown.size());
    if (shownColumn != wanted) {
        return failure(
            line, "the printable column " + got(shownColumn) + " does not match the hex bytes");
    }
    return std::nullopt;
}

struct Field {
    std::string text;
    bool quoted = false;
};

// A quoted text from `at` (its opening quote), unescaped; `at` ends past its closing quote.
std::optional<ParseError> quotedText(std::string_view text, std::size_t& at, std::size_t line,
                                     std::string& out) {
    for (++at; at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"') {
            ++at;
            return std::nullopt;
        }
        if (byte < 0x20 || byte == 0x7f) {
            return failure(line, "a control byte stands unescaped in a quoted text");
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (at + 1 < text.size() && (text[at + 1] == '"' || text[at + 1] == '\\')) {
            out += text[++at];
            continue;
        }
        const int high = at + 3 < text.size() && text[at + 1] == 'x' ? hexValue(text[at + 2]) : -1;
        const int low = high >= 0 ? hexValue(text[at + 3]) : -1;
        const int value = high * 16 + low;
        if (low < 0 || (value >= 0x20 && value != 0x7f)) {
            return failure(line,
                           "expected \\\", \\\\ or \\x and a control byte's two hex digits, got " +
                               got(text.substr(at, 4)));
        }
        out += static_cast<char>(value);
        at += 3;
    }
    return failure(line, "a quoted text has no closing quote");
}

std::optional<ParseError> splitFields(std::string_view text, std::size_t line,
                                      std::vector<Field>& fields) {
    std::size_t at = 0;
    for (;;) {
        Field field;
        if (at < text.size() && text[at] == '"') {
            field.quoted = true;
            if (auto error = quotedText(text, at, line, field.text)) return error;
            if (at < text.size() && text[at] != ' ') {
                return failure(line,
                               "expected a space after a quoted text, got " + got(text.substr(at)));
            }
        } else {
            const std::size_t end = std::min(text.find(' ', at), text.size());
            field.text = std::string(text.substr(at, end - at));
            if (field.text.find('"') != std::string::npos) {
                return failure(line, "a quote inside the field " + got(field.text));
            }
            at = end;
        }
        fields.push_back(std::move(field));
        if (at >= text.size()) return std::nullopt;
        ++at;  // the space
    }
}

// What each known event takes; an unknown word passes as it is, for a later writer.
enum class FieldKind { quoted, byte, count, number, word };
struct FieldShape {
    FieldKind kind;
    std::string_view choices;  // of a word, separated by spaces; empty: any word
};
struct EventShape {
    std::string_view word;
    std::vector<FieldShape> fields;
};

const EventShape kShapes[] = {
    {"line", {{FieldKind::quoted, ""}}},
    {"reply", {{FieldKind::quoted, ""}, {FieldKind::word, "ok error none"}}},
    {"start", {{FieldKind::word, "C NAK"}}},
    {"packet", {{FieldKind::byte, ""}, {FieldKind::count, ""}, {FieldKind::word, "good bad"}}},
    {"send", {{FieldKind::byte, ""}, {FieldKind::count, ""}}},
    {"ack", {{FieldKind::word, "in out"}}},
    {"nak", {{FieldKind::word, "in out"}}},
    {"can", {{FieldKind::word, "in out"}}},
    {"eot", {{FieldKind::word, "in out"}}},
    {"timeout", {{FieldKind::word, ""}, {FieldKind::count, ""}}},
    {"result", {{FieldKind::number, ""}, {FieldKind::word, ""}}},
    {"limit", {{FieldKind::count, ""}}},
};

bool oneOf(std::string_view word, std::string_view choices) {
    for (std::size_t at = 0; at <= choices.size();) {
        const std::size_t end = std::min(choices.find(' ', at), choices.size());
        if (choices.substr(at, end - at) == word) return true;
        at = end + 1;
    }
    return false;
}

bool fits(const FieldShape& shape, const Field& field) {
    std::uint64_t count = 0;
    std::int64_t number = 0;
    switch (shape.kind) {
        case FieldKind::quoted:
            return field.quoted;
        case FieldKind::byte:
            return !field.quoted && parseNumber(field.text, count) && count <= 0xFF;
        case FieldKind::count:
            return !field.quoted && parseNumber(field.text, count);
        case FieldKind::number:
            return !field.quoted && parseNumber(field.text, number);
        case FieldKind::word:
            return !field.quoted && (shape.choices.empty() || oneOf(field.text, shape.choices));
    }
    return false;
}

std::string wanted(const FieldShape& shape) {
    switch (shape.kind) {
        case FieldKind::quoted:
            return "a quoted text";
        case FieldKind::byte:
            return "a packet number (0 to 255)";
        case FieldKind::count:
            return "a whole number";
        case FieldKind::number:
            return "a number";
        case FieldKind::word:
            break;
    }
    return shape.choices.empty() ? "a word" : "one of " + std::string(shape.choices);
}

std::optional<ParseError> checkShape(const EventShape& shape, const std::vector<Field>& fields,
                                     std::size_t line) {
    const std::string word(shape.word);
    if (fields.size() != shape.fields.size()) {
        return failure(line, "the event " + word + " takes " + std::to_string(shape.fields.size()) +
                                 " fields, not " + std::to_string(fields.size()));
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!fits(shape.fields[i], fields[i])) {
            return failure(line, "the event " + word + " expected " + wanted(shape.fields[i]) +
                                     ", got " + got(fields[i].text));
        }
    }
    return std::nullopt;
}

std::optional<ParseError> parseEvent(std::string_view text, std::size_t line, EventText& event) {
    event = {};
    std::vector<Field> fields;
    if (auto error = splitFields(text, line, fields)) return error;
    if (fields.front().quoted || fields.front().text.empty()) {
        return failure(line, "expected an event's word, got " + got(text));
    }
    event.word = std::move(fields.front().text);
    fields.erase(fields.begin());
    for (const auto& shape : kShapes) {
        if (shape.word == event.word) {
            if (auto error = checkShape(shape, fields, line)) return error;
        }
    }
    for (auto& field : fields) event.fields.push_back(std::move(field.text));
    return std::nullopt;
}

// "%10.3f": at least ten characters, three decimals. Twelve digits before the point (31
// years) keep every time exact in a double.
std::optional<ParseError> parseTime(std::string_view stamp, std::size_t line, double& ms) {
    constexpr std::size_t kWidth = 10;
    constexpr std::size_t kMostWholeDigits = 12;
    const std::size_t digits = stamp.find_first_not_of(' ');
    const std::string_view number = digits == std::string_view::npos ? "" : stamp.substr(digits);
    const std::size_t point = number.find('.');
    const bool formed = point != std::string_view::npos && point > 0 && point <= kMostWholeDigits &&
                        number.size() - point == 4 &&
                        number.find_first_not_of("0123456789.") == std::string_view::npos &&
                        number.find('.', point + 1) == std::string_view::npos &&
                        (digits == 0 ? stamp.size() >= kWidth : stamp.size() == kWidth) &&
                        !(point > 1 && number[0] == '0');
    if (!formed) return failure(line, "expected a time, got " + got(stamp));
    std::from_chars(number.data(), number.data() + number.size(), ms);
    return std::nullopt;
}

// "2026-12-09 22:40:01 +0000" as written by strftime's "%Y-%m-%d %H:%M:%S %z".
bool parseStarted(std::string_view text, std::time_t& started) {
    constexpr std::string_view kForm = "dddd-dd-dd dd:dd:dd sdddd";
    if (text.size() != kForm.size()) return false;
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const char c = text[i];
        const bool fits = kForm[i] == 'd'   ? c >= '0' && c <= '9'
                          : kForm[i] == 's' ? c == '+' || c == '-'
                                            : c == kForm[i];
        if (!fits) return false;
    }
    const auto number = [&](std::size_t at, std::size_t width) {
        int value = 0;
        for (std::size_t i = at; i < at + width; ++i) value = value * 10 + (text[i] - '0');
        return value;
    };
    std::tm utc{};
    utc.tm_year = number(0, 4) - 1900;
    utc.tm_mon = number(5, 2) - 1;
    utc.tm_mday = number(8, 2);
    utc.tm_hour = number(11, 2);
    utc.tm_min = number(14, 2);
    utc.tm_sec = number(17, 2);
    const int offsetMinutes = number(21, 2) * 60 + number(23, 2);
    if (utc.tm_mon > 11 || utc.tm_mday < 1 || utc.tm_mday > 31 || utc.tm_hour > 23 ||
        utc.tm_min > 59 || utc.tm_sec > 60 || number(23, 2) > 59) {
        return false;
    }
    started = detail::utcTime(utc) - (text[20] == '-' ? -1 : 1) * offsetMinutes * 60;
    return true;
}

}  // namespace

std::optional<ParseError> parseHeading(const std::vector<std::string_view>& lines,
                                       Heading& heading) {
    const std::string first = "# tidewell trace " + std::to_string(kFormatVersion);
    if (lines.empty() || !lines[0].starts_with("# tidewell trace ")) {
        return failure(1, "expected \"" + first + "\", got " +
                              got(lines.empty() ? std::string_view() : lines[0]) +
                              ": not a protocol trace");
    }
    if (lines[0] != first) {
        return failure(1, "trace format " + got(lines[0].substr(17)) + " is not " +
                              std::to_string(kFormatVersion));
    }
    // Each line in turn, so that the first wrong one is named.
    const auto value = [&](std::size_t index,
                           std::string_view key) -> std::optional<std::string_view> {
        const std::string prefix = "# " + std::string(key) + " ";
        if (index >= lines.size() || !lines[index].starts_with(prefix)) return std::nullopt;
        return lines[index].substr(prefix.size());
    };
    const auto missing = [&](std::size_t index, std::string_view key) {
        return failure(index + 1, "expected \"# " + std::string(key) + " ...\", got " +
                                      got(index < lines.size() ? lines[index] : ""));
    };
    // Program and version, port label and path: the version has no space; the label, a
    // COM name or the path given, is taken to have none.
    const auto program = value(1, "program");
    if (!program) return missing(1, "program");
    const std::size_t versionAt = program->rfind(' ');
    if (versionAt == std::string_view::npos || versionAt == 0) {
        return failure(2, "expected a program name and its version, got " + got(*program));
    }
    heading.program = std::string(program->substr(0, versionAt));
    heading.version = std::string(program->substr(versionAt + 1));
    const auto port = value(2, "port");
    if (!port) return missing(2, "port");
    const std::size_t pathAt = port->find(' ');
    if (pathAt == std::string_view::npos || pathAt == 0) {
        return failure(3, "expected a port and its device path, got " + got(*port));
    }
    heading.portLabel = std::string(port->substr(0, pathAt));
    heading.devicePath = std::string(port->substr(pathAt + 1));
    const auto speed = value(3, "speed");
    if (!speed) return missing(3, "speed");
    if (!parseNumber(*speed, heading.speed)) {
        return failure(4, "expected a speed in bit/s, got " + got(*speed));
    }
    const auto started = value(4, "started");
    if (!started) return missing(4, "started");
    if (!parseStarted(*started, heading.started)) {
        return failure(5,
                       "expected a start time \"YYYY-MM-DD HH:MM:SS +HHMM\", got " + got(*started));
    }
    return std::nullopt;
}

std::optional<ParseError> parseRecord(std::string_view line, std::size_t lineNumber,
                                      Record& record) {
    record = {};
    record.line = lineNumber;
    record.text = std::string(line);
    const std::size_t digits = line.find_first_not_of(' ');
    const std::size_t stampEnd = digits == std::string_view::npos
                                     ? line.size()
                                     : std::min(line.find(' ', digits), line.size());
    if (auto error = parseTime(line.substr(0, stampEnd), lineNumber, record.milliseconds)) {
        return error;
    }
    const std::string_view rest = line.substr(stampEnd);
    if (rest.size() < 4 || rest[0] != ' ' || rest[2] != ' ' ||
        (rest[1] != '<' && rest[1] != '>' && rest[1] != '*')) {
        return failure(
            lineNumber,
            "expected ' < ', ' > ' or ' * ' and the record after the time, got " + got(rest));
    }
    record.kind = static_cast<RecordKind>(rest[1]);
    const std::string_view body = rest.substr(3);
    if (record.kind == RecordKind::event) return parseEvent(body, lineNumber, record.event);
    return parseChunk(body, lineNumber, record.chunk);
}

ParsedTrace parseTrace(std::string_view text) {
    ParsedTrace trace;
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    bool cutShort = false;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(at));
            cutShort = true;
            break;
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    const std::size_t headingLines = std::min(lines.size(), kHeadingLines);
    if (auto error = parseHeading({lines.begin(), lines.begin() + headingLines}, trace.heading)) {
        if (error->line > 1 &&
            (error->line > lines.size() || (cutShort && error->line == lines.size()))) {
            error->what = "the trace ends inside its heading";
        }
        trace.error = std::move(error);
        return trace;
    }
    for (std::size_t i = kHeadingLines; i < lines.size(); ++i) {
        if (cutShort && i + 1 == lines.size()) {
            trace.error = ParseError{i + 1, "the trace ends inside a line (no line end)"};
            break;
        }
        Record record;
        if (auto error = parseRecord(lines[i], i + 1, record)) {
            trace.error = error;
            break;
        }
        trace.records.push_back(std::move(record));
    }
    return trace;
}

}  // namespace tidewell::tracefmt
