#include <unistd.h>

#include <cerrno>

#include "terminal_input.h"

namespace tidewell::cli {

namespace {
constexpr std::size_t kInputChunk = 4096;
}  // namespace

std::string_view endOfInputKey() {
    return "Ctrl-D";
}

struct TerminalInput::Console {};

TerminalInput::TerminalInput(int fd) : fd_(fd) {}

TerminalInput::~TerminalInput() = default;

TerminalInput::Chunk TerminalInput::read() {
    std::string bytes(kInputChunk, '\0');
    const ssize_t got = ::read(fd_, bytes.data(), bytes.size());
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return {};
    if (got <= 0) return {{}, true};
    bytes.resize(static_cast<std::size_t>(got));
    return {std::move(bytes), false};
}

}  // namespace tidewell::cli
