// TSerie: one numbered COM port, open and fully configured.
//
// The constructor opens the port and applies the whole line configuration, or
// throws SerialTextError / SerialCodeError and leaves no open device behind.
// Thread rules: one thread at a time calls read, write, getOverlappedResult and
// setReadWait; getBaudRate may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "tidewell/serial/backend.h"
#include "tidewell/serial/comm.h"

namespace tidewell {

// A refusal or open failure, with its text ("invalid parity", "Error # 2 opening ...").
// For an open failure, error() is its errno and reason() the operating system's words
// ("Permission denied (errno 13)"); for a refused argument, 0 and empty.
class SerialTextError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
    SerialTextError(const std::string& text, int error);
    int error() const noexcept { return error_; }
    const std::string& reason() const noexcept { return reason_; }

  private:
    int error_ = 0;
    std::string reason_;
};

// The device refused a control block; carries the platform error code.
class SerialCodeError : public std::exception {
  public:
    explicit SerialCodeError(DWORD code);
    DWORD code() const noexcept { return code_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    DWORD code_;
    std::string text_;
};

// What a port needs from the machine: a backend for the device, and the device
// path behind a COM number.
struct SerialPlatform {
    std::function<std::unique_ptr<SerialBackend>()> makeBackend;
    std::function<std::string(std::uint8_t portNumber)> devicePath;
};

// termios backend; COM numbers resolved through the settings file's [Ports] and the
// serial devices present. A devicePath() that returns an empty string means "no such
// port": the open then fails with ENOENT, naming "COMn".
SerialPlatform defaultSerialPlatform();

class TSerie {
  public:
    TSerie(std::uint8_t portNumber, DWORD baudRate, std::uint8_t dataBits, std::uint8_t parity,
           std::uint8_t stopBits, bool hardwareFlow, bool xonXoff, bool nonBlockingRead,
           SerialPlatform platform = defaultSerialPlatform());
    virtual ~TSerie();
    TSerie(const TSerie&) = delete;
    TSerie& operator=(const TSerie&) = delete;

    bool setPort(std::uint8_t portNumber);
    bool open();
    bool close();
    bool applyState();
    bool setBaudRate(DWORD rate);
    bool setDataBits(std::uint8_t bits);
    bool setParity(std::uint8_t parity);
    bool setStopBits(std::uint8_t count);
    bool setHardwareFlowControl(bool on);
    bool setXonXoffControl(bool on);
    bool clearWriteTimeouts();
    bool clearReadTimeouts();
    bool setTimeouts(const COMMTIMEOUTS& timeouts);
    bool setNonBlockingRead();
    bool setReadWait(DWORD milliseconds);
    bool read(void* buffer, DWORD count, DWORD* bytesRead, Overlapped* overlapped);
    bool write(const void* buffer, DWORD count, DWORD* bytesWritten, Overlapped* overlapped);
    bool getOverlappedResult(Overlapped* overlapped, DWORD* bytes, bool wait);
    DWORD getBaudRate() const;

    // The error of the last failed operation (what the caller asks after a false result).
    DWORD lastError() const;
    std::uint8_t portNumber() const { return portNumber_; }
    const std::string& devicePath() const { return devicePath_; }
    const DCB& controlBlock() const { return dcb_; }
    const COMMTIMEOUTS& timeouts() const { return timeouts_; }

  private:
    DWORD baudRate_ = 0;
    std::uint8_t portNumber_ = 0;
    std::string devicePath_;
    bool pathResolved_ = false;
    COMMTIMEOUTS timeouts_{};
    DCB dcb_{};
    SerialPlatform platform_;
    std::unique_ptr<SerialBackend> device_;
};

// The standard link: 8N1, no flow control, non-blocking reads, then a 4 ms read
// wait. Null on any error; *whyNot (when given) receives the error's text.
std::unique_ptr<TSerie> createSerialPort(std::uint8_t portNumber, DWORD baudRate,
                                         SerialPlatform platform = defaultSerialPlatform(),
                                         std::string* whyNot = nullptr);

}  // namespace tidewell
