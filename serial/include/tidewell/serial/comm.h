// Line settings, time-outs and completion records of a serial port.
//
// The field names follow the control block and time-out record that the port's
// users and its tests speak of; fields that Linux cannot honour are kept so that
// the block round-trips, and are documented in the termios backend.
#pragma once

#include <cstdint>
#include <string>

namespace tidewell {

class ManualResetEvent;

using DWORD = std::uint32_t;

inline constexpr DWORD MAXDWORD = 0xFFFFFFFFu;

// Error codes of the serial layer. Operating-system failures carry the errno
// value (GetLastError() on Windows); an operation that runs on in the background
// reports ERROR_IO_PENDING.
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_IO_PENDING = 997;

// True for the errors of a device that has gone away (an unplugged adapter, a
// hung-up line): retrying will not help.
bool isDeviceLostError(DWORD code);
// The system's words for a code: "Permission denied (errno 13)".
std::string serialErrorText(DWORD code);

inline constexpr std::uint8_t NOPARITY = 0;
inline constexpr std::uint8_t ODDPARITY = 1;
inline constexpr std::uint8_t EVENPARITY = 2;
inline constexpr std::uint8_t MARKPARITY = 3;
inline constexpr std::uint8_t SPACEPARITY = 4;

inline constexpr std::uint8_t ONESTOPBIT = 0;
inline constexpr std::uint8_t ONE5STOPBITS = 1;
inline constexpr std::uint8_t TWOSTOPBITS = 2;

inline constexpr std::uint8_t DTR_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t DTR_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t DTR_CONTROL_HANDSHAKE = 2;
inline constexpr std::uint8_t RTS_CONTROL_DISABLE = 0;
inline constexpr std::uint8_t RTS_CONTROL_ENABLE = 1;
inline constexpr std::uint8_t RTS_CONTROL_HANDSHAKE = 2;

struct DCB {
    DWORD BaudRate = 0;
    bool fBinary = false;
    bool fParity = false;
    bool fOutxCtsFlow = false;
    bool fOutxDsrFlow = false;
    std::uint8_t fDtrControl = DTR_CONTROL_DISABLE;
    bool fDsrSensitivity = false;
    bool fTXContinueOnXoff = false;
    bool fOutX = false;
    bool fInX = false;
    bool fErrorChar = false;
    bool fNull = false;
    std::uint8_t fRtsControl = RTS_CONTROL_DISABLE;
    bool fAbortOnError = false;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 8;
    std::uint8_t Parity = NOPARITY;
    std::uint8_t StopBits = ONESTOPBIT;
    char XonChar = 0;
    char XoffChar = 0;
    char ErrorChar = 0;
    char EofChar = 0;
    char EvtChar = 0;

    bool operator==(const DCB&) const = default;
};

// Read timing: (MAXDWORD, 0, 0) returns at once with what is buffered;
// (MAXDWORD, MAXDWORD, n) waits up to n ms for the first byte.
struct COMMTIMEOUTS {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;

    bool operator==(const COMMTIMEOUTS&) const = default;
};

// Completion record of one read or write. The caller owns it and its event;
// a backend that completes later sets the event when the operation is done.
struct Overlapped {
    ManualResetEvent* hEvent = nullptr;
    DWORD Internal = 0;      // backend's status of the operation
    DWORD InternalHigh = 0;  // bytes moved once complete
};

}  // namespace tidewell
