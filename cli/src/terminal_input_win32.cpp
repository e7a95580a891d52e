// Windows: a console in line input mode signals its handle on any event (a key, focus, the
// mouse) while a read holds until Enter, so device lines would stop while the user types.
// The console is read key by key instead, with Ctrl-C still the console's own event (and so
// SIGINT through SignalWatch); pipes and files are read as they are.
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <span>

#include "line_editor.h"
#include "terminal_input.h"

namespace tidewell::cli {

namespace {

constexpr unsigned kInputChunk = 4096;
constexpr ::DWORD kRecordsAtOnce = 64;
constexpr ::DWORD kLineModes = ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
// Window, mouse and escape-sequence input would only bring events that type nothing.
constexpr ::DWORD kOtherInput =
    ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT | ENABLE_VIRTUAL_TERMINAL_INPUT;

}  // namespace

std::string_view endOfInputKey() {
    return "Ctrl-Z";
}

struct TerminalInput::Console {
    Console(HANDLE in, ::DWORD mode)
        : input(in),
          savedMode(mode),
          screen(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                               nullptr)) {}
    ~Console() {
        ::SetConsoleMode(input, savedMode);
        if (screen != INVALID_HANDLE_VALUE) ::CloseHandle(screen);
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    Chunk read() {
        ::DWORD waiting = 0;
        if (!::GetNumberOfConsoleInputEvents(input, &waiting)) return {{}, true};
        if (waiting == 0) return {};
        INPUT_RECORD records[kRecordsAtOnce];
        ::DWORD got = 0;
        if (!::ReadConsoleInputW(input, records, kRecordsAtOnce, &got)) return {{}, true};
        for (const INPUT_RECORD& record : std::span(records, got)) {
            if (record.EventType != KEY_EVENT) continue;
            const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
            // A character made with Alt and the number pad comes as Alt is let go.
            const bool types = key.bKeyDown || key.wVirtualKeyCode == VK_MENU;
            if (!types || key.uChar.UnicodeChar == 0) continue;
            for (::WORD n = 0; n < std::max<::WORD>(key.wRepeatCount, 1); ++n) {
                editor.type(static_cast<char16_t>(key.uChar.UnicodeChar));
            }
        }
        show(editor.takeEcho());
        return {editor.takeLines(), editor.ended()};
    }

    void show(const std::string& text) const {
        if (text.empty() || screen == INVALID_HANDLE_VALUE) return;
        const int size = static_cast<int>(text.size());
        std::wstring wide(text.size(), L'\0');
        const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), size);
        ::DWORD written = 0;
        ::WriteConsoleW(screen, wide.data(), static_cast<::DWORD>(units), &written, nullptr);
    }

    HANDLE input;
    ::DWORD savedMode;
    HANDLE screen;  // the console's, even when standard output goes elsewhere
    LineEditor editor;
};

TerminalInput::TerminalInput(int fd) : fd_(fd) {
    const auto input = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    ::DWORD mode = 0;
    if (input == INVALID_HANDLE_VALUE || !::GetConsoleMode(input, &mode)) return;
    const ::DWORD keys = (mode & ~(kLineModes | kOtherInput)) | ENABLE_PROCESSED_INPUT;
    // Made first, so that the saved mode is put back whatever happens after the switch.
    auto console = std::make_unique<Console>(input, mode);
    if (!::SetConsoleMode(input, keys)) return;
    console_ = std::move(console);
}

TerminalInput::~TerminalInput() = default;

TerminalInput::Chunk TerminalInput::read() {
    if (console_) return console_->read();
    std::string bytes(kInputChunk, '\0');
    const int got = ::_read(fd_, bytes.data(), kInputChunk);
    if (got < 0 && errno == EINTR) return {};
    if (got <= 0) return {{}, true};
    bytes.resize(static_cast<std::size_t>(got));
    return {std::move(bytes), false};
}

}  // namespace tidewell::cli
