// The real Win32 serial calls behind Win32Comm.
//
// The serial layer's names come first: <windows.h> defines several of them as macros.
// clang-format off
#include "tidewell/serial/win32_backend.h"
#include <windows.h>
// clang-format on

#include <array>

namespace tidewell {

namespace {

HANDLE systemHandle(Win32Comm::Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// The fields the two control blocks share, copied either way.
template <class From, class To>
void copyFields(const From& from, To& to) {
    to.BaudRate = from.BaudRate;
    to.fBinary = from.fBinary;
    to.fParity = from.fParity;
    to.fOutxCtsFlow = from.fOutxCtsFlow;
    to.fOutxDsrFlow = from.fOutxDsrFlow;
    to.fDtrControl = from.fDtrControl;
    to.fDsrSensitivity = from.fDsrSensitivity;
    to.fTXContinueOnXoff = from.fTXContinueOnXoff;
    to.fOutX = from.fOutX;
    to.fInX = from.fInX;
    to.fErrorChar = from.fErrorChar;
    to.fNull = from.fNull;
    to.fRtsControl = from.fRtsControl;
    to.fAbortOnError = from.fAbortOnError;
    to.XonLim = from.XonLim;
    to.XoffLim = from.XoffLim;
    to.ByteSize = from.ByteSize;
    to.Parity = from.Parity;
    to.StopBits = from.StopBits;
    to.XonChar = from.XonChar;
    to.XoffChar = from.XoffChar;
    to.ErrorChar = from.ErrorChar;
    to.EofChar = from.EofChar;
    to.EvtChar = from.EvtChar;
}

void toSystem(const DCB& from, ::DCB& to) {
    to = ::DCB{};
    to.DCBlength = sizeof to;
    copyFields(from, to);
}

class SystemComm final : public Win32Comm {
  public:
    SystemComm() {
        for (auto& event : events_) event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~SystemComm() override {
        for (const HANDLE event : events_) {
            if (event) ::CloseHandle(event);
        }
    }
    SystemComm(const SystemComm&) = delete;
    SystemComm& operator=(const SystemComm&) = delete;

    Handle createFileA(const std::string& path) override {
        const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        return handle == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(handle);
    }

    bool getCommState(Handle handle, DCB& dcb) override {
        ::DCB system{};
        system.DCBlength = sizeof system;
        if (!::GetCommState(systemHandle(handle), &system)) return false;
        copyFields(system, dcb);
        return true;
    }

    bool setCommState(Handle handle, const DCB& dcb) override {
        ::DCB system;
        toSystem(dcb, system);
        return ::SetCommState(systemHandle(handle), &system);
    }

    bool getCommTimeouts(Handle handle, COMMTIMEOUTS& timeouts) override {
        ::COMMTIMEOUTS system{};
        if (!::GetCommTimeouts(systemHandle(handle), &system)) return false;
        timeouts = {system.ReadIntervalTimeout, system.ReadTotalTimeoutMultiplier,
                    system.ReadTotalTimeoutConstant, system.WriteTotalTimeoutMultiplier,
                    system.WriteTotalTimeoutConstant};
        return true;
    }

    bool setCommTimeouts(Handle handle, const COMMTIMEOUTS& timeouts) override {
        ::COMMTIMEOUTS system{timeouts.ReadIntervalTimeout, timeouts.ReadTotalTimeoutMultiplier,
                              timeouts.ReadTotalTimeoutConstant,
                              timeouts.WriteTotalTimeoutMultiplier,
                              timeouts.WriteTotalTimeoutConstant};
        return ::SetCommTimeouts(systemHandle(handle), &system);
    }

    bool readFile(Handle handle, void* buffer, DWORD count, DWORD* moved, IoSlot slot) override {
        ::DWORD done = 0;
        const BOOL ok = ::ReadFile(systemHandle(handle), buffer, count, &done, prepare(slot));
        *moved = done;
        return ok;
    }

    bool writeFile(Handle handle, const void* buffer, DWORD count, DWORD* moved,
                   IoSlot slot) override {
        ::DWORD done = 0;
        const BOOL ok = ::WriteFile(systemHandle(handle), buffer, count, &done, prepare(slot));
        *moved = done;
        return ok;
    }

    bool getOverlappedResult(Handle handle, IoSlot slot, DWORD* moved, bool wait) override {
        ::DWORD done = 0;
        const BOOL ok = ::GetOverlappedResult(systemHandle(handle), &records_[index(slot)], &done,
                                              wait ? TRUE : FALSE);
        *moved = done;
        return ok;
    }

    bool waitForSingleObject(IoSlot slot, DWORD milliseconds) override {
        return ::WaitForSingleObject(events_[index(slot)], milliseconds) == WAIT_OBJECT_0;
    }

    bool cancelIo(Handle handle) override { return ::CancelIo(systemHandle(handle)); }

    bool closeHandle(Handle handle) override { return ::CloseHandle(systemHandle(handle)); }

    DWORD getLastError() override { return ::GetLastError(); }

    std::string wineVersion() override {
        using WineGetVersion = const char*(CDECL*)();
        const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
        if (!ntdll) return {};
        const FARPROC found = ::GetProcAddress(ntdll, "wine_get_version");
        if (!found) return {};
        const auto version = reinterpret_cast<WineGetVersion>(reinterpret_cast<void*>(found));
        const char* text = version();
        return text ? text : "";
    }

  private:
    static std::size_t index(IoSlot slot) { return slot == IoSlot::read ? 0 : 1; }

    OVERLAPPED* prepare(IoSlot slot) {
        const std::size_t i = index(slot);
        ::ResetEvent(events_[i]);
        records_[i] = OVERLAPPED{};
        records_[i].hEvent = events_[i];
        return &records_[i];
    }

    std::array<HANDLE, 2> events_{};
    std::array<OVERLAPPED, 2> records_{};
};

}  // namespace

std::unique_ptr<Win32Comm> makeSystemWin32Comm() {
    return std::make_unique<SystemComm>();
}

}  // namespace tidewell
