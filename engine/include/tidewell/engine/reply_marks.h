// What the worker's notifications mean to those who read them: the marks that end
// a device's reply, and the size that a download's progress percent refers to.
#pragma once

#include <cstdint>
#include <string_view>

namespace tidewell::protocol {

inline constexpr std::string_view kOkMark = ":OK:";
inline constexpr std::string_view kErrorMark = ":ERROR:";

// What a device line says about a reply: ":OK:" counts before ":ERROR:".
enum class ReplyMark { none, ok, error };
constexpr ReplyMark replyMark(std::string_view line) {
    if (line.find(kOkMark) != std::string_view::npos) return ReplyMark::ok;
    if (line.find(kErrorMark) != std::string_view::npos) return ReplyMark::error;
    return ReplyMark::none;
}

// A receiver's progress is percent of this many bytes (the file's size is unknown).
inline constexpr unsigned kReceiverReferenceShift = 17;
inline constexpr std::uint64_t kReceiverProgressReference = std::uint64_t{1}
                                                            << kReceiverReferenceShift;

}  // namespace tidewell::protocol
