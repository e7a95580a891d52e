// Line editing for a console that hands over key presses rather than lines (a Windows
// console without line input), as a Linux terminal edits lines for tidewell-cli: typed
// characters are echoed, Backspace takes the last one back, Enter finishes the line.
// Ctrl-Z ends the input: at once at the start of a line, otherwise with the next Enter
// (the text before it goes as the last line, what is typed after it is dropped).
#pragma once

#include <string>

namespace tidewell::cli {

class LineEditor {
  public:
    // One UTF-16 unit a key typed ('\r' Enter, '\b' Backspace, 0x1A Ctrl-Z); a character
    // beyond U+FFFF comes as its two surrogates. Other control characters are ignored, and
    // every key once the input has ended.
    void type(char16_t unit);

    // What to show since the last call (UTF-8): the typed text, "\b \b" per character
    // taken back, "^Z" and line ends as "\r\n".
    std::string takeEcho();
    // The lines finished since the last call, as standard input would give them: UTF-8,
    // each ending in '\n'.
    std::string takeLines();
    bool ended() const { return ended_; }

  private:
    void finishLine();
    void eraseLast();
    void append(char32_t character);

    std::string line_;
    std::string echo_;
    std::string lines_;
    char16_t highSurrogate_ = 0;
    bool endAtEnter_ = false;  // Ctrl-Z typed after some text
    bool ended_ = false;
    bool afterCarriageReturn_ = false;  // a '\n' right after '\r' is the same line end
};

}  // namespace tidewell::cli
