// The protocol events of the device's trace.
#include "control.h"
#include "transfer.h"

namespace tidewell::devsim {

std::string controlEvent(std::uint8_t byte, bool sent) {
    const char* word = byte == kAck ? "ack" : byte == kNak ? "nak" : byte == kEot ? "eot" : "can";
    return std::string(word) + (sent ? " out" : " in");
}

std::string packetEvent(std::uint8_t number, std::size_t size, bool good) {
    return "packet " + std::to_string(number) + " " + std::to_string(size) +
           (good ? " good" : " bad");
}

std::string startEvent(bool crc) {
    return crc ? "start C" : "start NAK";
}

std::string sendEvent(std::uint8_t number, std::size_t size) {
    return "send " + std::to_string(number) + " " + std::to_string(size);
}

std::string timeoutEvent(const char* what, Millis wait) {
    return std::string("timeout ") + what + " " + std::to_string(wait.count());
}

}  // namespace tidewell::devsim
