#include "tidewell/ui/text.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>

namespace tidewell::ui {
namespace {

constexpr std::size_t kMaxInsert = 99;
constexpr std::string_view kFallbackAppName = "tidewell";

struct Conversion {
    std::string flagsWidthPrecision;
    char conv = 's';
};

// Parses the printf conversion between the bangs of "%1!...!".
std::optional<Conversion> parseConversion(std::string_view written) {
    Conversion c;
    std::size_t i = 0;
    while (i < written.size() &&
           std::string_view("-+ #0").find(written[i]) != std::string_view::npos) {
        c.flagsWidthPrecision += written[i++];
    }
    while (i < written.size() && std::isdigit(static_cast<unsigned char>(written[i]))) {
        c.flagsWidthPrecision += written[i++];
    }
    if (i < written.size() && written[i] == '.') {
        c.flagsWidthPrecision += written[i++];
        while (i < written.size() && std::isdigit(static_cast<unsigned char>(written[i]))) {
            c.flagsWidthPrecision += written[i++];
        }
    }
    // Length modifiers carry no meaning here: every integer insert is 64-bit.
    if (written.substr(i).starts_with("I64")) {
        i += 3;
    }
    while (i < written.size() && (written[i] == 'h' || written[i] == 'l')) {
        ++i;
    }
    if (i + 1 != written.size()) {
        return std::nullopt;
    }
    c.conv = written[i];
    if (std::string_view("diuxXocsS").find(c.conv) == std::string_view::npos) {
        return std::nullopt;
    }
    return c;
}

std::string formatInsert(const FormatArg& arg, const Conversion& c) {
    char buffer[128];
    const auto& v = arg.value();
    std::string fmt = "%" + c.flagsWidthPrecision;
    if (const auto* n = std::get_if<std::int64_t>(&v)) {
        switch (c.conv) {
            case 'd':
            case 'i':
                fmt += "lld";
                std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<long long>(*n));
                return buffer;
            case 'u':
            case 'x':
            case 'X':
            case 'o':
                fmt += "ll";
                fmt += c.conv;
                std::snprintf(buffer, sizeof buffer, fmt.c_str(),
                              static_cast<unsigned long long>(*n));
                return buffer;
            case 'c':
                fmt += 'c';
                std::snprintf(buffer, sizeof buffer, fmt.c_str(), static_cast<int>(*n));
                return buffer;
            default: {
                const std::string text = std::to_string(*n);
                fmt += 's';
                std::snprintf(buffer, sizeof buffer, fmt.c_str(), text.c_str());
                return buffer;
            }
        }
    }
    const std::string& s = std::get<std::string>(v);
    fmt += 's';
    const int needed = std::snprintf(nullptr, 0, fmt.c_str(), s.c_str());
    std::string out(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt.c_str(), s.c_str());
    return out;
}

}  // namespace

std::string formatMessage(std::string_view format, std::initializer_list<FormatArg> args) {
    const std::vector<FormatArg> inserts(args);
    std::string out;
    out.reserve(format.size() + 16);
    std::size_t i = 0;
    while (i < format.size()) {
        const char ch = format[i];
        if (ch != '%' || i + 1 == format.size()) {
            out += ch;
            ++i;
            continue;
        }
        const char next = format[i + 1];
        const std::size_t start = i;
        i += 2;
        switch (next) {
            case '%':
            case '.':
            case '!':
                out += next;
                continue;
            case 'n':
                out += "\r\n";
                continue;
            case 'r':
                out += '\r';
                continue;
            case 't':
                out += '\t';
                continue;
            case 'b':
                out += ' ';
                continue;
            case '0':
                return out;
            default:
                break;
        }
        if (next < '1' || next > '9') {
            out += '%';
            out += next;
            continue;
        }
        std::size_t number = static_cast<std::size_t>(next - '0');
        if (i < format.size() && std::isdigit(static_cast<unsigned char>(format[i])) &&
            number * 10 + static_cast<std::size_t>(format[i] - '0') <= kMaxInsert) {
            number = number * 10 + static_cast<std::size_t>(format[i] - '0');
            ++i;
        }
        Conversion conversion;
        bool explicitConversion = false;
        if (i < format.size() && format[i] == '!') {
            const std::size_t close = format.find('!', i + 1);
            if (close != std::string_view::npos) {
                if (auto parsed = parseConversion(format.substr(i + 1, close - i - 1))) {
                    conversion = *parsed;
                    explicitConversion = true;
                    i = close + 1;
                }
            }
        }
        if (number > inserts.size()) {
            out.append(format.substr(start, i - start));
            continue;
        }
        const FormatArg& arg = inserts[number - 1];
        if (!explicitConversion) {
            conversion = Conversion{};
            conversion.conv = std::holds_alternative<std::int64_t>(arg.value()) ? 'd' : 's';
        }
        out += formatInsert(arg, conversion);
    }
    return out;
}

std::string stringPrintf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        out.resize(static_cast<std::size_t>(needed));
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}

std::vector<FileFilter> parseFileFilter(std::string_view filter) {
    std::vector<std::string_view> parts;
    std::size_t pos = 0;
    while (pos <= filter.size()) {
        const std::size_t bar = filter.find('|', pos);
        if (bar == std::string_view::npos) {
            parts.push_back(filter.substr(pos));
            break;
        }
        parts.push_back(filter.substr(pos, bar - pos));
        pos = bar + 1;
    }
    std::vector<FileFilter> out;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty()) {
            break;
        }
        if (parts[i + 1].empty()) {
            continue;
        }
        out.push_back({std::string(parts[i]), std::string(parts[i + 1])});
    }
    return out;
}

bool hasWildcard(std::string_view name) {
    return name.find_first_of("*?") != std::string_view::npos;
}

std::string executableBaseName() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || exe.filename().empty()) {
        return std::string(kFallbackAppName);
    }
    return exe.filename().string();
}

std::string stripMnemonics(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace tidewell::ui
