// The Win32 backend: one COM port through the Win32 serial interface.
//
// Its Win32 calls go through Win32Comm, in the serial layer's own types, so that a test
// records them on any platform; makeSystemWin32Comm() makes the real calls (Windows only).
// Each read and write is overlapped on the backend's own event and completes before the
// call returns (the read time-outs bound how long): the caller's Overlapped and event are
// then set as for an operation that completed at once.
//
// Under wine (ntdll exports wine_get_version) the backend works around wine's serial
// driver on a pseudo-terminal: a read wait (MAXDWORD, MAXDWORD, n) is handed to the device
// as (1, 0, n), and its ERROR_TIMEOUT means "no byte came"; a non-blocking read still
// pending is cancelled with CancelIo (its bytes stay buffered for the next read). On
// Windows the port's own time-outs are handed over unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "tidewell/serial/backend.h"
#include "tidewell/serial/comm.h"

namespace tidewell {

inline constexpr DWORD ERROR_TIMEOUT = 1460;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;

// The two overlapped records (with their events) a backend owns: one per direction.
enum class IoSlot { read, write };

class Win32Comm {
  public:
    using Handle = std::uintptr_t;
    static constexpr Handle kInvalidHandle = ~Handle{0};

    virtual ~Win32Comm() = default;

    // GENERIC_READ | GENERIC_WRITE, share mode 0, OPEN_EXISTING, FILE_FLAG_OVERLAPPED.
    virtual Handle createFileA(const std::string& path) = 0;
    virtual bool getCommState(Handle handle, DCB& dcb) = 0;
    virtual bool setCommState(Handle handle, const DCB& dcb) = 0;
    virtual bool getCommTimeouts(Handle handle, COMMTIMEOUTS& timeouts) = 0;
    virtual bool setCommTimeouts(Handle handle, const COMMTIMEOUTS& timeouts) = 0;
    // Start the operation on slot's record (its event reset first).
    virtual bool readFile(Handle handle, void* buffer, DWORD count, DWORD* moved, IoSlot slot) = 0;
    virtual bool writeFile(Handle handle, const void* buffer, DWORD count, DWORD* moved,
                           IoSlot slot) = 0;
    virtual bool getOverlappedResult(Handle handle, IoSlot slot, DWORD* moved, bool wait) = 0;
    // True when slot's event is set within milliseconds.
    virtual bool waitForSingleObject(IoSlot slot, DWORD milliseconds) = 0;
    virtual bool cancelIo(Handle handle) = 0;
    virtual bool closeHandle(Handle handle) = 0;
    virtual DWORD getLastError() = 0;
    // wine's version ("8.0"), empty on Windows.
    virtual std::string wineVersion() = 0;
};

// The real calls (Windows builds only).
std::unique_ptr<Win32Comm> makeSystemWin32Comm();

std::unique_ptr<SerialBackend> makeWin32Backend(std::unique_ptr<Win32Comm> comm);

// "\\.\COM12": the device path of a COM number.
std::string win32DevicePath(std::uint8_t portNumber);

// Where the backend says, once per process, that it runs under wine. Standard error by default.
void setSerialNoteSink(std::function<void(const std::string&)> sink);

}  // namespace tidewell
