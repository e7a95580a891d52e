#include "tidewell/serial/tserie.h"

#include <cstdio>
#include <string_view>

#include "os_codes.h"

namespace tidewell {

namespace {

constexpr DWORD kBaseBaudRate = 19200;
constexpr std::uint8_t kBaseByteSize = 8;
constexpr char kXon = 0x11;
constexpr char kXoff = 0x13;
constexpr char kErrorChar = static_cast<char>(0xFF);
constexpr char kEof = 0x1A;
constexpr char kEvt = 0x01;
constexpr std::uint16_t kXonXoffLimit = 500;

constexpr std::uint8_t kMinDataBits = 4;
constexpr std::uint8_t kMaxDataBits = 8;
constexpr std::uint8_t kMaxParity = MARKPARITY;

constexpr DWORD kStandardReadWaitMs = 4;

constexpr const char* kOpenFailedFormat = "Error # %d opening %s :";
constexpr const char* kErrorOpening = "error opening ";
constexpr const char* kInvalidBits = "invalid number of bit";
constexpr const char* kInvalidParity = "invalid parity";
constexpr const char* kInvalidStopBits = "invalid stop bits";
constexpr const char* kInvalidTimeouts = "invalid timeouts";

std::string openFailedText(DWORD code, const std::string& path) {
    const int size =
        std::snprintf(nullptr, 0, kOpenFailedFormat, static_cast<int>(code), path.c_str());
    std::string text(static_cast<std::size_t>(size) + 1, '\0');
    std::snprintf(text.data(), text.size(), kOpenFailedFormat, static_cast<int>(code),
                  path.c_str());
    text.resize(static_cast<std::size_t>(size));
    return text;
}

}  // namespace

SerialTextError::SerialTextError(const std::string& text, int error)
    : std::runtime_error(text),
      error_(error),
      reason_(serialErrorText(static_cast<DWORD>(error))) {}

SerialCodeError::SerialCodeError(DWORD code)
    : code_(code), text_("the device refused the line settings: " + serialErrorText(code)) {}

TSerie::TSerie(std::uint8_t portNumber, DWORD baudRate, std::uint8_t dataBits, std::uint8_t parity,
               std::uint8_t stopBits, bool hardwareFlow, bool xonXoff, bool nonBlockingRead,
               SerialPlatform platform)
    : portNumber_(portNumber), platform_(std::move(platform)) {
    device_ = platform_.makeBackend ? platform_.makeBackend() : nullptr;
    setPort(portNumber);
    if (!device_) {
        const DWORD code = detail::noDeviceCode();
        throw SerialTextError(openFailedText(code, devicePath_), static_cast<int>(code));
    }
    try {
        // The reason goes with the text: a regular file or /dev/null opens, but has no line.
        if (!open()) throw SerialTextError(kErrorOpening, static_cast<int>(device_->lastError()));
        setBaudRate(baudRate);
        if (!setDataBits(dataBits)) throw SerialTextError(kInvalidBits);
        if (!setParity(parity)) throw SerialTextError(kInvalidParity);
        if (!setStopBits(stopBits)) throw SerialTextError(kInvalidStopBits);
        setHardwareFlowControl(hardwareFlow);
        setXonXoffControl(xonXoff);
        if (!clearWriteTimeouts() || !clearReadTimeouts()) throw SerialTextError(kInvalidTimeouts);
        if (nonBlockingRead && !setNonBlockingRead()) throw SerialTextError(kInvalidTimeouts);
    } catch (...) {
        // No object will exist to close the device later: free the port for the next connect.
        if (device_ && device_->isOpen()) device_->close();
        throw;
    }
}

TSerie::~TSerie() {
    close();
}

bool TSerie::setPort(std::uint8_t portNumber) {
    portNumber_ = portNumber;
    devicePath_ = platform_.devicePath ? platform_.devicePath(portNumber) : std::string();
    pathResolved_ = !devicePath_.empty();
    if (!pathResolved_) devicePath_ = "COM" + std::to_string(portNumber);
    return true;
}

bool TSerie::open() {
    if (!pathResolved_) {
        const DWORD code = detail::noSuchPortCode();
        throw SerialTextError(openFailedText(code, devicePath_), static_cast<int>(code));
    }
    if (!device_->open(devicePath_)) {
        const DWORD code = device_->lastError();
        throw SerialTextError(openFailedText(code, devicePath_), static_cast<int>(code));
    }
    if (!device_->getState(dcb_)) return false;

    dcb_.BaudRate = kBaseBaudRate;
    dcb_.fBinary = true;
    dcb_.fTXContinueOnXoff = true;
    dcb_.fParity = false;
    dcb_.fOutxCtsFlow = false;
    dcb_.fOutxDsrFlow = false;
    dcb_.fDtrControl = DTR_CONTROL_DISABLE;
    dcb_.fDsrSensitivity = false;
    dcb_.fOutX = false;
    dcb_.fInX = false;
    dcb_.fErrorChar = false;
    dcb_.fNull = false;
    dcb_.fRtsControl = RTS_CONTROL_DISABLE;
    dcb_.fAbortOnError = false;
    dcb_.ByteSize = kBaseByteSize;
    dcb_.Parity = NOPARITY;
    dcb_.StopBits = ONESTOPBIT;
    dcb_.XonChar = kXon;
    dcb_.XoffChar = kXoff;
    dcb_.ErrorChar = kErrorChar;
    dcb_.EofChar = kEof;
    dcb_.EvtChar = kEvt;

    if (!device_->setState(dcb_)) return false;
    if (!device_->getState(dcb_)) return false;
    if (!clearWriteTimeouts() || !clearReadTimeouts()) return false;
    return true;
}

bool TSerie::close() {
    return device_ && device_->close();
}

bool TSerie::applyState() {
    if (!device_->setState(dcb_)) throw SerialCodeError(device_->lastError());
    return true;
}

bool TSerie::setBaudRate(DWORD rate) {
    dcb_.BaudRate = rate;
    baudRate_ = rate;
    return applyState();
}

bool TSerie::setDataBits(std::uint8_t bits) {
    if (bits < kMinDataBits || bits > kMaxDataBits) return false;
    dcb_.ByteSize = bits;
    return applyState();
}

bool TSerie::setParity(std::uint8_t parity) {
    if (parity > kMaxParity) return false;
    dcb_.Parity = parity;
    return applyState();
}

bool TSerie::setStopBits(std::uint8_t count) {
    if (count == 1) {
        dcb_.StopBits = ONESTOPBIT;
    } else if (count == 2) {
        dcb_.StopBits = TWOSTOPBITS;
    } else {
        return false;
    }
    return applyState();
}

bool TSerie::setHardwareFlowControl(bool on) {
    dcb_.fOutxCtsFlow = on;
    dcb_.fOutxDsrFlow = on;
    dcb_.fDtrControl = on ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_DISABLE;
    dcb_.fRtsControl = on ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
    return applyState();
}

bool TSerie::setXonXoffControl(bool on) {
    dcb_.XonLim = on ? kXonXoffLimit : 0;
    dcb_.XoffLim = on ? kXonXoffLimit : 0;
    dcb_.fOutX = on;
    dcb_.fInX = on;
    dcb_.fBinary = !on;
    return applyState();
}

bool TSerie::clearWriteTimeouts() {
    timeouts_.WriteTotalTimeoutMultiplier = 0;
    timeouts_.WriteTotalTimeoutConstant = 0;
    return device_->setTimeouts(timeouts_);
}

bool TSerie::clearReadTimeouts() {
    timeouts_.ReadIntervalTimeout = 0;
    timeouts_.ReadTotalTimeoutMultiplier = 0;
    timeouts_.ReadTotalTimeoutConstant = 0;
    return device_->setTimeouts(timeouts_);
}

bool TSerie::setTimeouts(const COMMTIMEOUTS& timeouts) {
    timeouts_ = timeouts;
    return device_->setTimeouts(timeouts_);
}

bool TSerie::setNonBlockingRead() {
    COMMTIMEOUTS nonBlocking{};
    nonBlocking.ReadIntervalTimeout = MAXDWORD;
    return setTimeouts(nonBlocking);
}

bool TSerie::setReadWait(DWORD milliseconds) {
    if (!device_->getTimeouts(timeouts_)) return false;
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    timeouts_.ReadTotalTimeoutMultiplier = MAXDWORD;
    timeouts_.ReadTotalTimeoutConstant = milliseconds;
    return device_->setTimeouts(timeouts_);
}

bool TSerie::read(void* buffer, DWORD count, DWORD* bytesRead, Overlapped* overlapped) {
    *bytesRead = 0;
    return device_->read(buffer, count, bytesRead, overlapped);
}

bool TSerie::write(const void* buffer, DWORD count, DWORD* bytesWritten, Overlapped* overlapped) {
    *bytesWritten = 0;
    return device_->write(buffer, count, bytesWritten, overlapped);
}

bool TSerie::getOverlappedResult(Overlapped* overlapped, DWORD* bytes, bool wait) {
    DWORD moved = 0;
    if (device_->overlappedResult(overlapped, &moved, wait)) {
        *bytes = moved;
        return true;
    }
    return device_->lastError() == ERROR_IO_PENDING;
}

DWORD TSerie::getBaudRate() const {
    return baudRate_;
}

DWORD TSerie::lastError() const {
    return device_ ? device_->lastError() : detail::notOpenCode();
}

std::unique_ptr<TSerie> createSerialPort(std::uint8_t portNumber, DWORD baudRate,
                                         SerialPlatform platform, std::string* whyNot) {
    const auto resolve = platform.devicePath;
    const auto explain = [&](const std::string& text) {
        if (!whyNot) return;
        const std::string path = resolve ? resolve(portNumber) : std::string();
        *whyNot = "COM" + std::to_string(portNumber) + (path.empty() ? "" : " (" + path + ")") +
                  ": " + text;
    };
    try {
        auto port = std::make_unique<TSerie>(portNumber, baudRate, kBaseByteSize, NOPARITY, 1,
                                             false, false, true, std::move(platform));
        port->setReadWait(kStandardReadWaitMs);
        return port;
    } catch (const SerialTextError& e) {
        if (e.reason().empty()) {
            explain(e.what());
        } else if (e.what() == std::string_view(kErrorOpening)) {
            explain(std::string(kErrorOpening) + "it as a serial line: " + e.reason());
        } else if (whyNot) {
            *whyNot = e.what() + (" " + e.reason());
            *whyNot += detail::openRefusedHint(static_cast<DWORD>(e.error()));
        }
    } catch (const SerialCodeError& e) {
        explain(e.what());
    } catch (const std::exception& e) {
        explain(e.what());
    }
    return nullptr;
}

}  // namespace tidewell
