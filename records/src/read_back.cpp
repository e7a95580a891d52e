#include "tidewell/records/read_back.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "tidewell/records/input_file.h"

namespace tidewell {

namespace {

constexpr std::uint64_t kShortPacket = 128;
constexpr std::uint64_t kLongPacket = 1024;
constexpr std::size_t kChunk = 64 * 1024;

std::uint64_t roundUp(std::uint64_t size, std::uint64_t block) {
    return (size + block - 1) / block * block;
}

// Fills the buffer up to its size (fewer bytes only at the end); nothing on an error.
using Reader = std::function<std::optional<std::size_t>(std::uint8_t*, std::size_t)>;

// The count of the bytes left; nothing on an error.
std::optional<std::uint64_t> drain(const Reader& read, std::vector<std::uint8_t>& buffer) {
    std::uint64_t count = 0;
    for (;;) {
        const auto got = read(buffer.data(), buffer.size());
        if (!got) return std::nullopt;
        count += *got;
        if (*got < buffer.size()) return count;
    }
}

std::optional<ReadBackResult> compareStreams(const Reader& readSent, const Reader& readBack) {
    ReadBackResult result;
    std::vector<std::uint8_t> sent(kChunk);
    std::vector<std::uint8_t> back(kChunk);
    std::uint64_t sentDone = 0;  // bytes of each side compared and equal
    std::uint64_t backDone = 0;
    // A difference found: the sizes still count the rest of both sides.
    const auto differ = [&](ReadBackDifference kind,
                            std::uint64_t at) -> std::optional<ReadBackResult> {
        const auto sentRest = drain(readSent, sent);
        const auto backRest = drain(readBack, back);
        if (!sentRest || !backRest) return std::nullopt;
        result.difference = kind;
        result.firstDifference = at;
        result.sentSize = sentDone + *sentRest;
        result.readSize = backDone + *backRest;
        return result;
    };

    // The sent bytes, one chunk of each side at a time.
    for (;;) {
        const auto sentGot = readSent(sent.data(), sent.size());
        if (!sentGot) return std::nullopt;
        const auto backGot = readBack(back.data(), *sentGot);
        if (!backGot) return std::nullopt;
        sentDone += *sentGot;
        backDone += *backGot;
        const auto mismatch = std::mismatch(sent.begin(), sent.begin() + *backGot, back.begin());
        if (mismatch.first != sent.begin() + *backGot) {
            return differ(
                ReadBackDifference::byte,
                sentDone - *sentGot + static_cast<std::uint64_t>(mismatch.first - sent.begin()));
        }
        if (*backGot < *sentGot) return differ(ReadBackDifference::shorter, backDone);
        if (*sentGot < sent.size()) break;
    }

    // What follows may only be padding, up to the end of the last packet.
    const std::uint64_t size = sentDone;
    const std::uint64_t maxPadding = roundUp(size, kLongPacket) - size;
    std::uint64_t padding = 0;
    std::optional<std::uint8_t> pad;
    for (;;) {
        const auto backGot = readBack(back.data(), back.size());
        if (!backGot) return std::nullopt;
        backDone += *backGot;
        for (std::size_t i = 0; i < *backGot; ++i, ++padding) {
            const std::uint8_t byte = back[i];
            if (!pad && (byte == kZeroPadding || byte == kSubPadding)) pad = byte;
            if (padding >= maxPadding || !pad || byte != *pad) {
                return differ(ReadBackDifference::notPadding, size + padding);
            }
        }
        if (*backGot < back.size()) break;
    }
    const std::uint64_t end = size + padding;
    if (padding != 0 && end != roundUp(size, kShortPacket) && end != roundUp(size, kLongPacket)) {
        return differ(ReadBackDifference::paddingEnds, end);
    }
    result.sentSize = size;
    result.readSize = end;
    result.paddingBytes = padding;
    return result;
}

Reader spanReader(std::span<const std::uint8_t> bytes) {
    return [bytes, position = std::size_t{0}](
               std::uint8_t* buffer, std::size_t size) mutable -> std::optional<std::size_t> {
        const std::size_t count = std::min(size, bytes.size() - position);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), count, buffer);
        position += count;
        return count;
    };
}

}  // namespace

ReadBackResult compareReadBack(std::span<const std::uint8_t> sent,
                               std::span<const std::uint8_t> readBack) {
    return *compareStreams(spanReader(sent), spanReader(readBack));
}

std::optional<ReadBackResult> compareReadBackFiles(const std::filesystem::path& sent,
                                                   const std::filesystem::path& readBack,
                                                   std::string* why) {
    auto sentFile = records::InputFile::open(sent, why);
    if (!sentFile) return std::nullopt;
    auto backFile = records::InputFile::open(readBack, why);
    if (!backFile) return std::nullopt;
    return compareStreams(
        [&](std::uint8_t* buffer, std::size_t size) { return sentFile->read(buffer, size, why); },
        [&](std::uint8_t* buffer, std::size_t size) { return backFile->read(buffer, size, why); });
}

std::string describeReadBack(const ReadBackResult& result) {
    const std::string at = std::to_string(result.firstDifference);
    const std::string sizes = " (" + std::to_string(result.sentSize) + " bytes sent, " +
                              std::to_string(result.readSize) + " read back)";
    switch (result.difference) {
        case ReadBackDifference::none:
            return "the device's file matches what was sent (" + std::to_string(result.sentSize) +
                   " bytes" +
                   (result.paddingBytes != 0
                        ? " and " + std::to_string(result.paddingBytes) + " bytes of padding)"
                        : ")");
        case ReadBackDifference::byte:
            return "the device's file differs from what was sent at offset " + at + sizes;
        case ReadBackDifference::shorter:
            return "the device's file is shorter than what was sent: it ends at offset " + at +
                   sizes;
        case ReadBackDifference::notPadding:
            return "the device's file holds more than what was sent and its padding, from offset " +
                   at + sizes;
        case ReadBackDifference::paddingEnds:
            return "the device's file ends at offset " + at + ", inside the padding of a packet" +
                   sizes;
    }
    return {};
}

}  // namespace tidewell
