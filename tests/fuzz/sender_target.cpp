// Fuzz target: the engine's upload session (an update: "download flashimage", then the
// engine sends the package) against a device whose every byte comes from the input: the
// reply to the command line, the start requests, the answers to packets and EOTs, the final
// line, with their timing, a hang-up or a port that stops taking data (device_script.h).
// The input's first byte chooses the package's size; the rest is the device's script.
//
// Invariants: one result is posted, the one returned, and it is one the sender or the
// session documents; after the command line the engine writes only packets, EOT, CAN and
// ACK; every packet is well formed (STX, number and complement, a valid check, all in one
// mode) and carries its slice of the file, zero-padded; packet k + 1 is first sent only once
// k ACKs were read, and packet numbers run 1, 2, 3 ...; at most 25 sends of one packet and
// 10 EOTs, EOT only once every packet had its ACK; a CAN only as three at the very end,
// which a posted 7 or 11 needs; 8 needs every packet, an ACK more and two ":OK:" read; an
// ACK only after the device's CAN CAN; without a cancel by the time cap, the session ends
// within ten simulated minutes of the device's last byte.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine_rig.h"
#include "fuzz_check.h"
#include "tidewell/testsupport/files.h"

namespace {

using namespace tidewell;
using namespace tidewell::fuzz;

constexpr char kCommandLine[] = "download flashimage";
constexpr std::size_t kPayload = 1024;

struct Tally {
    std::size_t packets = 0;  // distinct packets sent
    std::size_t eots = 0;
    std::size_t cans = 0;
    std::size_t acks = 0;
    std::size_t acksRead = 0;
    bool canCanRead = false;
};

std::size_t countOf(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A package and its packets in both modes, made once per choice (the checks would cost
// more than the run).
struct Package {
    std::string file;
    std::vector<std::string> crcPackets;
    std::vector<std::string> checksumPackets;
};

const Package& package(std::uint8_t choice) {
    static std::map<std::uint8_t, Package> made;
    const std::uint8_t key = choice % kSenderFileChoices;
    auto [at, fresh] = made.try_emplace(key);
    if (fresh) {
        at->second.file = senderFile(key);
        for (std::size_t offset = 0; offset < at->second.file.size(); offset += kPayload) {
            std::string payload = at->second.file.substr(offset, kPayload);
            payload.resize(kPayload, '\0');
            const auto number = static_cast<std::uint8_t>(offset / kPayload + 1);
            at->second.crcPackets.push_back(testing::makePacket(number, payload, true));
            at->second.checksumPackets.push_back(testing::makePacket(number, payload, false));
        }
    }
    return at->second;
}

Tally checkExchanges(const EngineRig& rig, const Package& package) {
    const std::size_t filePackets = package.crcPackets.size();
    Tally t;
    std::string previous;
    std::size_t sends = 0;
    std::size_t packetLength = 0;
    bool first = true;
    std::string read;
    for (const auto& exchange : rig.transcript()) {
        if (!exchange.fromEngine) {
            t.acksRead += static_cast<std::size_t>(
                std::count(exchange.bytes.begin(), exchange.bytes.end(), kAck));
            read += exchange.bytes;
            t.canCanRead = t.canCanRead || read.find("\x18\x18") != std::string::npos;
            continue;
        }
        const std::string& w = exchange.bytes;
        if (first) {
            TIDEWELL_FUZZ_CHECK(w == std::string(kCommandLine) + "\r",
                                "the first write is not the command line");
            first = false;
            continue;
        }
        TIDEWELL_FUZZ_CHECK(t.cans == 0 || w == std::string(1, kCan),
                            "the sender wrote on after a CAN");
        if (w.size() == 1) {
            TIDEWELL_FUZZ_CHECK(w[0] == kEot || w[0] == kCan || w[0] == kAck,
                                "a stray byte from the sender");
            if (w[0] == kEot) {
                ++t.eots;
                if (t.eots == 1) {
                    TIDEWELL_FUZZ_CHECK(t.packets == filePackets && t.acksRead >= filePackets,
                                        "EOT before every packet had its ACK");
                }
                TIDEWELL_FUZZ_CHECK(t.eots <= 10, "more than 10 EOTs");
            }
            t.cans += w[0] == kCan;
            t.acks += w[0] == kAck;
            continue;
        }
        TIDEWELL_FUZZ_CHECK(t.eots == 0, "a packet after EOT");
        TIDEWELL_FUZZ_CHECK(w.size() == 1029 || w.size() == 1028,
                            "a write of " + std::to_string(w.size()) + " bytes");
        TIDEWELL_FUZZ_CHECK(packetLength == 0 || w.size() == packetLength,
                            "the check mode changed within a transfer");
        packetLength = w.size();
        if (w == previous) {
            TIDEWELL_FUZZ_CHECK(++sends <= 25, "more than 25 sends of one packet");
            continue;
        }
        TIDEWELL_FUZZ_CHECK(t.packets < filePackets, "a packet past the end of the file");
        TIDEWELL_FUZZ_CHECK(t.acksRead >= t.packets, "packet " + std::to_string(t.packets + 1) +
                                                         " sent after " +
                                                         std::to_string(t.acksRead) + " ACKs");
        const auto& expected = w.size() == 1029 ? package.crcPackets : package.checksumPackets;
        TIDEWELL_FUZZ_CHECK(w == expected[t.packets],
                            "packet " + std::to_string(t.packets + 1) +
                                " is not its slice of the file, well framed");
        ++t.packets;
        previous = w;
        sends = 1;
    }
    return t;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    EngineRig& rig = engineRig();
    rig.begin({data + 1, size - 1});
    const Package& chosen = package(data[0]);
    const auto path = rig.scratch() / "flash.pkg";
    testsupport::writeFile(path, chosen.file);
    rig.worker().setFileName(path.string());
    TIDEWELL_FUZZ_CHECK(rig.worker().queueCommandLine(kCommandLine), "the line was refused");
    std::int32_t result = -1;
    rig.run([&] { result = rig.worker().runUpload(); });

    const auto results = rig.recorder().results();
    TIDEWELL_FUZZ_CHECK(results.size() == 1 && results[0] == result,
                        std::to_string(results.size()) + " results posted");
    TIDEWELL_FUZZ_CHECK(oneOf(result, {resStopped, resOpenError, resTooManyRetries, resTransferOk,
                                       resTransferError, resRemoteCancel, resNoRemote}),
                        "result " + std::to_string(result));
    const Tally t = checkExchanges(rig, chosen);
    const std::size_t filePackets = chosen.crcPackets.size();
    // A lost link ends the three CAN bytes early.
    const bool lost = rig.lostLink();
    TIDEWELL_FUZZ_CHECK(t.cans == 0 || t.cans == 3 || (lost && t.cans < 3),
                        std::to_string(t.cans) + " CAN bytes");
    TIDEWELL_FUZZ_CHECK(
        t.cans == 0 || oneOf(result, {resTooManyRetries, resNoRemote, resTransferError}),
        "CAN sent, yet result " + std::to_string(result));
    TIDEWELL_FUZZ_CHECK(!oneOf(result, {resTooManyRetries, resNoRemote}) || t.cans == 3,
                        "result " + std::to_string(result) + " without CAN CAN CAN");
    TIDEWELL_FUZZ_CHECK(t.acks == 0 || t.canCanRead, "an ACK without the device's CAN CAN");
    TIDEWELL_FUZZ_CHECK(result != resRemoteCancel || (t.acks == 1 && t.canCanRead),
                        "a remote cancel without CAN CAN and its ACK");
    std::string read = rig.readBytes();
    std::erase(read, '\n');  // the line layer drops line feeds wherever they stand
    TIDEWELL_FUZZ_CHECK(
        result != resTransferOk || (t.packets == filePackets && t.eots >= 1 &&
                                    t.acksRead >= filePackets + 1 && countOf(read, ":OK:") >= 2),
        "success without every packet, EOT, its ACK and two :OK:");
    TIDEWELL_FUZZ_CHECK(rig.capped() || rig.clock().now() - rig.script().lastRelease() <=
                                            EngineRig::kSilentDeviceEnd,
                        "the session went on for " + std::to_string(rig.elapsed().count()) +
                            " ms, long after the device fell silent");
    return 0;
}
