// Fuzz target: the engine's download session (a backup: "upload setting", then the engine
// receives the file) against a device whose every byte comes from the input: the reply to
// the command line, the packets, EOT, the final line, with their timing, a hang-up or a
// port that stops taking data (the script format is in device_script.h).
//
// Invariants: one result is posted, the one returned, and it is one the receiver or the
// session documents; nothing is written in the folder but the backup file, and that only
// after the device's ":OK:"; after the command line the engine writes single bytes only
// ('C', NAK, ACK, CAN), at most 60 'C', and a CAN only as three at the very end, which a
// posted 6 or 7 needs; the file is whole payloads, at most 1024 bytes per ACK (not counting
// the ACK of an EOT or of a cancel), and holds, in order, the payloads of well-formed packets
// numbered 1, 2, 3 ... that the engine read; 8 needs an EOT and two ":OK:" read; without a
// cancel by the time cap, the session ends within ten simulated minutes of the device's last
// byte.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "engine_rig.h"
#include "fuzz_check.h"
#include "tidewell/testsupport/files.h"

namespace {

namespace fs = std::filesystem;
using namespace tidewell;
using namespace tidewell::fuzz;

constexpr char kCommandLine[] = "upload setting";

std::size_t countOf(const std::string& text, std::string_view what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void checkWrites(const std::vector<std::string>& writes, std::int32_t result, bool lost) {
    if (writes.empty()) return;
    TIDEWELL_FUZZ_CHECK(writes[0] == std::string(kCommandLine) + "\r",
                        "the first write is not the command line");
    std::size_t crcRequests = 0;
    std::size_t cans = 0;
    for (std::size_t i = 1; i < writes.size(); ++i) {
        const std::string& w = writes[i];
        TIDEWELL_FUZZ_CHECK(
            w.size() == 1 && std::string_view("C\x15\x06\x18").find(w[0]) != std::string_view::npos,
            "a write of " + std::to_string(w.size()) + " bytes from the receiver");
        crcRequests += w[0] == 'C';
        if (w[0] == kCan) {
            ++cans;
            TIDEWELL_FUZZ_CHECK(i + 3 >= writes.size(), "the receiver wrote on after a CAN");
        }
    }
    TIDEWELL_FUZZ_CHECK(crcRequests <= 60, std::to_string(crcRequests) + " CRC requests");
    // A lost link ends the three CAN bytes early.
    TIDEWELL_FUZZ_CHECK(cans == 0 || cans == 3 || (lost && cans < 3),
                        std::to_string(cans) + " CAN bytes");
    TIDEWELL_FUZZ_CHECK(
        cans == 0 || oneOf(result, {resWriteError, resTooManyRetries, resTransferError}),
        "CAN sent, yet result " + std::to_string(result));
    TIDEWELL_FUZZ_CHECK(!oneOf(result, {resWriteError, resTooManyRetries}) || cans == 3,
                        "result " + std::to_string(result) + " without CAN CAN CAN");
}

void checkFile(const EngineRig& rig, std::int32_t result) {
    const fs::path file = rig.scratch() / "setting.bak";
    for (const auto& entry : fs::directory_iterator(rig.scratch())) {
        TIDEWELL_FUZZ_CHECK(entry.path() == file,
                            "written outside the backup: " + entry.path().string());
    }
    const std::string read = rig.readBytes();
    if (!fs::exists(file)) {
        TIDEWELL_FUZZ_CHECK(result != resTransferOk, "success without a file");
        return;
    }
    std::string text = read;
    std::erase(text, '\n');  // the line layer drops line feeds wherever they stand
    TIDEWELL_FUZZ_CHECK(text.find(":OK:") != std::string::npos,
                        "the backup was opened without the device's :OK:");
    const std::string data = testsupport::readFile(file);
    std::size_t acks = 0;
    for (const std::string& w : rig.writes()) acks += w == std::string(1, kAck);
    // The ACK of an EOT or of the device's cancel answers no packet.
    const std::size_t packetAcks =
        oneOf(result, {resTransferOk, resRemoteCancel}) && acks > 0 ? acks - 1 : acks;
    TIDEWELL_FUZZ_CHECK(data.size() % 128 == 0,
                        "not whole payloads: " + std::to_string(data.size()));
    TIDEWELL_FUZZ_CHECK(
        data.size() <= 1024 * packetAcks,
        std::to_string(data.size()) + " bytes kept after " + std::to_string(acks) + " ACKs");
    const auto unmatched = firstUnmatchedPayload(data, read);
    TIDEWELL_FUZZ_CHECK(!unmatched, "the file's bytes at " + std::to_string(unmatched.value_or(0)) +
                                        " are no payload the device sent in order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EngineRig& rig = engineRig();
    rig.begin({data, size});
    rig.worker().setFileName((rig.scratch() / "setting.bak").string());
    TIDEWELL_FUZZ_CHECK(rig.worker().queueCommandLine(kCommandLine), "the line was refused");
    std::int32_t result = -1;
    rig.run([&] { result = rig.worker().runDownload(); });

    const auto results = rig.recorder().results();
    TIDEWELL_FUZZ_CHECK(results.size() == 1 && results[0] == result,
                        std::to_string(results.size()) + " results posted");
    TIDEWELL_FUZZ_CHECK(oneOf(result, {resStopped, resOpenError, resWriteError, resTooManyRetries,
                                       resTransferOk, resTransferError, resRemoteCancel}),
                        "result " + std::to_string(result));
    checkWrites(rig.writes(), result, rig.lostLink());
    checkFile(rig, result);
    std::string read = rig.readBytes();
    std::erase(read, '\n');  // the line layer drops line feeds wherever they stand
    TIDEWELL_FUZZ_CHECK(result != resTransferOk ||
                            (read.find(kEot) != std::string::npos && countOf(read, ":OK:") >= 2),
                        "success without EOT and two :OK:");
    TIDEWELL_FUZZ_CHECK(rig.capped() || rig.clock().now() - rig.script().lastRelease() <=
                                            EngineRig::kSilentDeviceEnd,
                        "the session went on for " + std::to_string(rig.elapsed().count()) +
                            " ms, long after the device fell silent");
    return 0;
}
