// The protocol events of the device's trace, from its own control bytes.
#include "control.h"
#include "transfer.h"

namespace tidewell::devsim {

std::string controlEvent(std::uint8_t byte, bool sent) {
    const auto what = byte == kAck   ? tracefmt::Control::ack
                      : byte == kNak ? tracefmt::Control::nak
                      : byte == kEot ? tracefmt::Control::eot
                                     : tracefmt::Control::can;
    return tracefmt::controlEvent(what, sent);
}

std::string timeoutEvent(const char* what, Millis wait) {
    return tracefmt::timeoutEvent(what, wait.count());
}

}  // namespace tidewell::devsim
