// The narrow operating-system interface under TSerie.
//
// One backend object serves one port object. Every operation reports failure
// through its result and leaves the reason in lastError(): an errno value, or
// ERROR_IO_PENDING for a read or write that completes later (its Overlapped's
// event is set then and overlappedResult() collects the count).
#pragma once

#include <memory>
#include <string>

#include "tidewell/serial/comm.h"

namespace tidewell {

class SerialBackend {
public:
    virtual ~SerialBackend() = default;

    // Exclusive open of a device path; true when open.
    virtual bool open(const std::string& path) = 0;
    virtual bool isOpen() const = 0;
    virtual bool getState(DCB& dcb) = 0;
    virtual bool setState(const DCB& dcb) = 0;
    virtual bool getTimeouts(COMMTIMEOUTS& timeouts) = 0;
    virtual bool setTimeouts(const COMMTIMEOUTS& timeouts) = 0;
    // True when the operation completed at once with *moved bytes.
    virtual bool read(void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) = 0;
    virtual bool write(const void* buffer, DWORD count, DWORD* moved, Overlapped* overlapped) = 0;
    virtual bool overlappedResult(Overlapped* overlapped, DWORD* moved, bool wait) = 0;
    // True when an open device was closed; the backend is closed afterwards in any case.
    virtual bool close() = 0;
    virtual DWORD lastError() const = 0;
};

std::unique_ptr<SerialBackend> makeTermiosBackend();

}  // namespace tidewell
