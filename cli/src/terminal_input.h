// Standard input as `tidewell-cli terminal` reads it, one file per platform. A Linux
// terminal edits the lines itself. A Windows console is switched, for the object's
// lifetime, from line input (whose read holds until Enter) to key events, and LineEditor
// edits the lines; its mode is restored on the way out. Pipes and files are read as they are.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace tidewell::cli {

// The key that ends input typed at a console: "Ctrl-D" on Linux, "Ctrl-Z" on Windows.
std::string_view endOfInputKey();

class TerminalInput {
  public:
    explicit TerminalInput(int fd);  // a C runtime descriptor
    ~TerminalInput();
    TerminalInput(const TerminalInput&) = delete;
    TerminalInput& operator=(const TerminalInput&) = delete;

    // Bytes as standard input gives them (lines end in '\n'), and whether input ended
    // with them. A wait that saw input may still yield nothing: nothing was typed.
    struct Chunk {
        std::string bytes;
        bool ended = false;
    };
    Chunk read();

  private:
    struct Console;
    int fd_;
    std::unique_ptr<Console> console_;  // none unless fd is a console read key by key
};

}  // namespace tidewell::cli
