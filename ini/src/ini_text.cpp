#include "ini_text.h"

#include <algorithm>
#include <cctype>

namespace tidewell::detail {

namespace {

constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

struct Parsed {
    enum Kind { other, header, entry } kind = other;
    std::string_view name;   // section name or key
    std::string_view value;  // entry value, quotes removed
};

Parsed parse(std::string_view raw) {
    const std::string_view line = trim(raw);
    if (line.empty() || line.front() == ';' || line.front() == '#') return {};
    if (line.front() == '[') {
        // A header cut short ("[Tidew") still starts a section of its own.
        const auto close = line.find(']');
        const auto name = line.substr(1, close == std::string_view::npos ? close : close - 1);
        return {Parsed::header, trim(name), {}};
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos || eq == 0) return {};
    std::string_view value = trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return {Parsed::entry, trim(line.substr(0, eq)), value};
}

std::string formatEntry(std::string_view key, std::string_view value) {
    const bool quote =
        trim(value) != value || (value.size() >= 2 && value.front() == '"' && value.back() == '"');
    std::string line(key);
    line += '=';
    if (quote) line += '"';
    line += value;
    if (quote) line += '"';
    return line;
}

}  // namespace

IniText::IniText(std::string_view text) {
    // Lines end with LF (a CR before it stays with the line and is trimmed when parsed) or
    // with a CR alone, so that no value read ever holds a line break.
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines_.emplace_back(text.substr(start));
            break;
        }
        if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
            lines_.emplace_back(text.substr(start, end + 1 - start));
            start = end + 2;
        } else {
            lines_.emplace_back(text.substr(start, end - start));
            start = end + 1;
        }
    }
}

std::optional<IniText::Range> IniText::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Parsed p = parse(lines_[i]);
        if (p.kind != Parsed::header || !sameName(p.name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines_.size() && parse(lines_[end]).kind != Parsed::header) ++end;
        return Range{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> IniText::findKey(const Range& range, std::string_view key) const {
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const Parsed p = parse(lines_[i]);
        if (p.kind == Parsed::entry && sameName(p.name, key)) return i;
    }
    return std::nullopt;
}

std::optional<std::string> IniText::find(std::string_view section, std::string_view key) const {
    const auto range = findSection(section);
    if (!range) return std::nullopt;
    const auto index = findKey(*range, key);
    if (!index) return std::nullopt;
    return std::string(parse(lines_[*index]).value);
}

SettingsEntries IniText::section(std::string_view section) const {
    SettingsEntries entries;
    const auto range = findSection(section);
    if (!range) return entries;
    for (std::size_t i = range->header + 1; i < range->end; ++i) {
        const Parsed p = parse(lines_[i]);
        if (p.kind != Parsed::entry) continue;
        const bool seen = std::any_of(entries.begin(), entries.end(),
                                      [&](const auto& e) { return sameName(e.first, p.name); });
        if (!seen) entries.emplace_back(std::string(p.name), std::string(p.value));
    }
    return entries;
}

void IniText::set(std::string_view section, std::string_view key, std::string_view value) {
    const auto range = findSection(section);
    if (!range) {
        if (!lines_.empty() && !trim(lines_.back()).empty()) lines_.emplace_back();
        lines_.push_back("[" + std::string(section) + "]");
        lines_.push_back(formatEntry(key, value));
        return;
    }
    if (const auto index = findKey(*range, key)) {
        lines_[*index] = formatEntry(key, value);
        return;
    }
    std::size_t at = range->end;
    while (at > range->header + 1 && trim(lines_[at - 1]).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), formatEntry(key, value));
}

bool IniText::remove(std::string_view section, std::string_view key) {
    const auto range = findSection(section);
    if (!range) return false;
    const auto index = findKey(*range, key);
    if (!index) return false;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(*index));
    return true;
}

std::string IniText::text() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line;
        text += '\n';
    }
    return text;
}

bool storableKey(std::string_view key) {
    return !trim(key).empty() && trim(key) == key &&
           key.find_first_of("=[;#\n\r") == std::string_view::npos;
}

bool storableValue(std::string_view value) {
    return value.find_first_of("\n\r") == std::string_view::npos;
}

std::uint32_t parseProfileInt(std::string_view value) {
    value = trim(value);
    if (!value.empty() && value.front() == '+') value.remove_prefix(1);
    std::uint32_t result = 0;
    for (const char c : value) {
        if (c < '0' || c > '9') break;
        result = result * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return result;
}

}  // namespace tidewell::detail
