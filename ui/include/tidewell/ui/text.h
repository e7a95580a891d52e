// Text helpers of the windowing layer: numbered-insert formatting of string-table
// texts, printf-style formatting, open-file filter strings, mnemonics.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tidewell::ui {

// One insert of formatMessage: an integer or a text.
class FormatArg {
  public:
    FormatArg(int v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(long long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(unsigned long v) : value_(static_cast<std::int64_t>(v)) {}
    FormatArg(const char* s) : value_(std::string(s)) {}
    FormatArg(std::string_view s) : value_(std::string(s)) {}
    FormatArg(const std::string& s) : value_(s) {}

    const std::variant<std::int64_t, std::string>& value() const { return value_; }

  private:
    std::variant<std::int64_t, std::string> value_;
};

// Fills numbered inserts the way string-table texts are written:
//   %1 .. %99        the insert as text (an integer in decimal)
//   %1!d!  %2!5u!    the insert with a printf conversion (d i u x X o c s; flags, width, precision)
//   %%  %.  %!       a literal '%', '.', '!'
//   %n %r %t %b      CR LF, CR, tab, space;  %0 ends the text
// An insert number with no argument is left as written; nothing here can fail.
std::string formatMessage(std::string_view format, std::initializer_list<FormatArg> args);

template <typename... Args>
std::string formatMessage(std::string_view format, const Args&... args) {
    return formatMessage(format, std::initializer_list<FormatArg>{FormatArg(args)...});
}

// printf-style formatting into a string ("COM%d", "Transfer %d %% completed.").
std::string stringPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// One entry of an open-file filter: "Firmware files (*.pkg)" and "*.pkg".
struct FileFilter {
    std::string description;
    std::string pattern;  // one or more patterns separated by ';'
    friend bool operator==(const FileFilter&, const FileFilter&) = default;
};

// Parses "text|pattern|text|pattern||" (the trailing bars are optional; an empty
// description ends the list; a description without a pattern is dropped).
std::vector<FileFilter> parseFileFilter(std::string_view filter);

// True when a file name holds a wildcard ('*' or '?').
bool hasWildcard(std::string_view name);

// Base name of the running executable (the program's name in message-box captions).
std::string executableBaseName();

// The text shown for a label with mnemonics: "&Next >" -> "Next >", "&&" -> "&".
std::string stripMnemonics(std::string_view text);

}  // namespace tidewell::ui
