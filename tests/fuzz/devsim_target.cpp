// Fuzz target: tidewell-devsim's device core (line parser, log-in, commands, the XMODEM
// receiver and sender) fed the host's bytes on a simulated clock.
//
// Input: two bytes choose the device's faults (see configure()); the rest is what the host
// sends, where 0xFF is an escape: FF FF is the byte 0xFF, FF 00 lets time run to the device's
// next deadline, FF n lets n x 20 ms pass. Between escapes no time passes. After the input the
// host stays silent for half an hour of simulated time.
//
// Invariants: once the device has run what is due it has nothing overdue; a silent host
// leaves the device idle in the end and gets a bounded amount of output meanwhile; every
// packet the device sends is well framed with a valid check value; a file the device stores
// holds, in order, the payloads of well-formed packets numbered 1, 2, 3 ... that the host
// sent, and no more bytes than the device acknowledged; nothing is written outside the store
// and no temporary file is left in it.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_check.h"
#include "tidewell/devsim/check.h"
#include "tidewell/devsim/device.h"
#include "tidewell/devsim/event_log.h"
#include "tidewell/devsim/store.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tidewell::devsim::Device;
using tidewell::devsim::DeviceConfig;
using tidewell::devsim::FinalReply;
using tidewell::testsupport::readFile;
using tidewell::testsupport::TempDir;
using tidewell::testsupport::writeFile;
using Bytes = std::vector<std::uint8_t>;
using TimePoint = Device::TimePoint;

constexpr std::uint8_t kEscape = 0xFF;
constexpr std::uint8_t kSoh = 0x01;
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kAck = 0x06;
constexpr std::chrono::milliseconds kStep{20};
constexpr std::chrono::minutes kQuietTail{30};
// Ten sends of one packet and of EOT, CAN bytes and a final line: what a silent host may get.
constexpr std::size_t kQuietOutputLimit = 11 * 1029 + 256;
constexpr std::size_t kMaxSteps = 1'000'000;

struct Workspace {
    TempDir dir{"tidewell-fuzz-devsim"};
    fs::path storeDir = dir / "store";
    Bytes setting = pattern(3000, 1);
    Bytes playlist = pattern(1024, 2);

    static Bytes pattern(std::size_t size, std::uint8_t seed) {
        Bytes data(size);
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<std::uint8_t>(i * 7 + seed);
        return data;
    }
    static std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

    // The store holds the two device files and nothing else.
    void reset() {
        std::error_code ignored;
        fs::remove_all(storeDir, ignored);
        fs::create_directories(storeDir);
        writeFile(storeDir / "setting", text(setting));
        writeFile(storeDir / "playlist", text(playlist));
    }
};

Workspace& workspace() {
    static Workspace instance;
    return instance;
}

DeviceConfig configure(std::uint8_t flags, std::uint8_t more) {
    DeviceConfig config;
    auto& f = config.faults;
    const std::uint64_t k = (more & 7u) + 1;
    if (flags & 0x01) f.replyDelay = 300ms;
    if (flags & 0x02) f.corruptPacket = k;
    if (flags & 0x04) f.dropAck = k;
    if (flags & 0x08) f.cancelAt = k;
    if (flags & 0x10) f.okAfterFailure = true;
    if ((flags & 0x60) == 0x20) f.finalReply = FinalReply::early;
    if ((flags & 0x60) == 0x40) f.finalReply = FinalReply::late;
    if ((flags & 0x60) == 0x60) f.finalReply = FinalReply::never;
    f.finalReplyLate = 500ms;
    if (flags & 0x80) config.baud = 9600;
    if (more & 0x08) f.refuseTransfers = true;
    if (more & 0x10) f.noTransferStart = true;
    if (more & 0x20) f.hangupAt = k * 97;
    if (more & 0x40) f.hangupAtSent = k * 211;
    if (more & 0x80) config.bootDelay = 500ms;
    return config;
}

// TIDEWELL_FUZZ_DEVSIM_LOG=FILE writes the device's event log, to read what an input did.
tidewell::devsim::EventLog& openLog(tidewell::devsim::EventLog& log) {
    std::string error;
    if (const char* path = std::getenv("TIDEWELL_FUZZ_DEVSIM_LOG")) log.open(path, error);
    return log;
}

class Run {
  public:
    Run(DeviceConfig config, tidewell::devsim::Store& store)
        : hangupAtSent_(config.faults.hangupAtSent.has_value()),
          corruptFault_(config.faults.corruptPacket.has_value()),
          device_(std::move(config), store, openLog(log_), now_) {}

    void send(const Bytes& bytes) {
        if (bytes.empty()) return;
        host_.insert(host_.end(), bytes.begin(), bytes.end());
        device_.receive(bytes, now_);
        collect();
    }

    void advanceTo(TimePoint when) {
        for (;;) {
            const auto next = device_.nextDeadline();
            if (!next || *next > when) break;
            now_ = std::max(now_, *next);
            step();
        }
        now_ = std::max(now_, when);
        step();
    }

    void advanceBy(std::chrono::milliseconds span) { advanceTo(now_ + span); }

    void toNextDeadline() {
        if (const auto next = device_.nextDeadline()) advanceTo(*next);
    }

    void quietTail() {
        const std::size_t before = output_.size();
        advanceTo(now_ + kQuietTail);
        TIDEWELL_FUZZ_CHECK(!device_.nextDeadline(),
                            "the device is still busy after a silent "
                            "half hour");
        TIDEWELL_FUZZ_CHECK(
            output_.size() - before <= kQuietOutputLimit,
            "a silent host got " + std::to_string(output_.size() - before) + " bytes");
    }

    const Bytes& host() const { return host_; }
    const Bytes& output() const { return output_; }
    bool hungUp() const { return device_.hungUp(); }
    bool hangupAtSent() const { return hangupAtSent_; }
    bool corruptFault() const { return corruptFault_; }

  private:
    void step() {
        TIDEWELL_FUZZ_CHECK(++steps_ < kMaxSteps, "the device's deadlines never end");
        device_.advance(now_);
        collect();
        const auto next = device_.nextDeadline();
        TIDEWELL_FUZZ_CHECK(!next || *next > now_, "a deadline is overdue after advance()");
    }

    void collect() {
        const Bytes bytes = device_.takeOutput();
        output_.insert(output_.end(), bytes.begin(), bytes.end());
    }

    tidewell::devsim::EventLog log_;
    TimePoint now_{std::chrono::hours(1)};
    bool hangupAtSent_;
    bool corruptFault_;
    Device device_;
    Bytes host_;
    Bytes output_;
    std::size_t steps_ = 0;
};

bool validCheck(std::span<const std::uint8_t> packet, std::size_t payload, bool crc) {
    const auto data = packet.subspan(3, payload);
    if (crc) return tidewell::devsim::crc16(packet.subspan(3, payload + 2)) == 0;
    return tidewell::devsim::checksum8(data) == packet[3 + payload];
}

// The length of the device's packet at the front of `out` (1029 with CRC, 1028 with a
// checksum), or nothing when neither check holds. The corrupt-packet fault flips the first
// payload byte; `repair` undoes that before checking.
std::optional<std::size_t> packetLength(std::span<const std::uint8_t> out, bool repair) {
    Bytes packet(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(
                                                std::min<std::size_t>(out.size(), 1029)));
    if (repair && packet.size() > 3) packet[3] ^= 0xFF;
    if (packet.size() == 1029 && validCheck(packet, 1024, true)) return 1029;
    if (packet.size() >= 1028 && validCheck(packet, 1024, false)) return 1028;
    return std::nullopt;
}

// The device's packets: STX, number, complement, 1024 bytes, CRC or checksum; lines and
// control bytes between them. Only a hang-up may cut the last one short.
void checkSentPackets(const Run& run) {
    const auto out = std::span<const std::uint8_t>(run.output());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] != kStx) continue;
        auto length = packetLength(out.subspan(i), false);
        if (!length && run.corruptFault()) length = packetLength(out.subspan(i), true);
        if (!length && out.size() - i < 1029) {
            TIDEWELL_FUZZ_CHECK(run.hungUp() && run.hangupAtSent(), "a packet cut short");
            return;
        }
        TIDEWELL_FUZZ_CHECK(length.has_value(), "a packet with a bad check value");
        TIDEWELL_FUZZ_CHECK(static_cast<std::uint8_t>(out[i + 1] + out[i + 2]) == 0xFF,
                            "a packet number without its complement");
        i += *length - 1;
    }
}

// Where the host sent a well-formed packet numbered `number` holding `payload`, at or after
// `from`; nothing when it never did.
std::optional<std::size_t> findPacket(const Bytes& host, std::size_t from, std::uint8_t number,
                                      std::span<const std::uint8_t> payload) {
    const std::uint8_t header = payload.size() == 128 ? kSoh : kStx;
    for (std::size_t i = from; i + 3 + payload.size() < host.size(); ++i) {
        if (host[i] != header || host[i + 1] != number ||
            static_cast<std::uint8_t>(host[i + 1] + host[i + 2]) != 0xFF ||
            !std::equal(payload.begin(), payload.end(), host.begin() + i + 3)) {
            continue;
        }
        const auto packet = std::span(host).subspan(i);
        if ((packet.size() >= 5 + payload.size() && validCheck(packet, payload.size(), true)) ||
            validCheck(packet, payload.size(), false)) {
            return i;
        }
    }
    return std::nullopt;
}

void checkStoredFile(const Run& run, const std::string& name, const Bytes& data) {
    const auto acks =
        static_cast<std::size_t>(std::count(run.output().begin(), run.output().end(), kAck));
    TIDEWELL_FUZZ_CHECK(data.size() % 128 == 0, name + ": not whole payloads");
    TIDEWELL_FUZZ_CHECK(acks > 0 && data.size() <= (acks - 1) * 1024,
                        name + ": " + std::to_string(data.size()) + " bytes stored after " +
                            std::to_string(acks) + " ACKs");
    std::size_t position = 0;
    std::size_t from = 0;
    std::uint8_t number = 1;
    while (position < data.size()) {
        std::optional<std::size_t> at;
        std::size_t length = 1024;
        if (data.size() - position >= 1024) {
            at = findPacket(run.host(), from, number, std::span(data).subspan(position, 1024));
        }
        if (!at) {
            length = 128;
            at = findPacket(run.host(), from, number, std::span(data).subspan(position, 128));
        }
        TIDEWELL_FUZZ_CHECK(at.has_value(), name + ": bytes at " + std::to_string(position) +
                                                " are no payload of packet " +
                                                std::to_string(number) + " the host sent");
        position += length;
        from = *at + 1;
        ++number;
    }
}

void checkStore(const Run& run) {
    Workspace& ws = workspace();
    for (const auto& entry : fs::directory_iterator(ws.dir.path())) {
        TIDEWELL_FUZZ_CHECK(entry.path() == ws.storeDir,
                            "written outside the store: " + entry.path().string());
    }
    for (const auto& entry : fs::directory_iterator(ws.storeDir)) {
        const std::string name = entry.path().filename().string();
        TIDEWELL_FUZZ_CHECK(tidewell::devsim::Store::validName(name) && entry.is_regular_file(),
                            "a stray entry in the store: " + name);
        const std::string text = readFile(entry.path());
        const Bytes data(text.begin(), text.end());
        if ((name == "setting" && data == ws.setting) ||
            (name == "playlist" && data == ws.playlist)) {
            continue;
        }
        checkStoredFile(run, name, data);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    Workspace& ws = workspace();
    ws.reset();
    tidewell::devsim::Store store(ws.storeDir);
    Run run(configure(data[0], data[1]), store);

    Bytes literal;
    for (std::size_t i = 2; i < size; ++i) {
        if (data[i] != kEscape || i + 1 == size) {
            literal.push_back(data[i]);
            continue;
        }
        const std::uint8_t code = data[++i];
        if (code == kEscape) {
            literal.push_back(kEscape);
            continue;
        }
        run.send(std::exchange(literal, {}));
        if (code == 0) {
            run.toNextDeadline();
        } else {
            run.advanceBy(code * kStep);
        }
    }
    run.send(literal);
    run.quietTail();
    checkSentPackets(run);
    checkStore(run);
    return 0;
}
