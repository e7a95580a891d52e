// The protocol trace of one port: what the worker wrote and read, chunk by chunk, and
// its protocol events, as text a technician can send.
//
// Text, UTF-8, one record per line, "\n" line ends. First the heading lines:
//   # tidewell trace 1
//   # program NAME VERSION
//   # port LABEL PATH                     (# port COM3 /dev/ttyUSB0)
//   # speed 115200                        (0: not known)
//   # started 2026-12-09 22:40:01 +0000   (local time and its offset)
// Then records: milliseconds since the start ("%10.3f"), a space, the kind, a space,
// the rest. '>' bytes written to the device, '<' bytes read from it, one record per run
// of writes or reads (consecutive ones in one direction, up to 1,100 bytes, none more than
// 50 ms after the one before; the time is the first's): two-digit lowercase hex separated by
// spaces, two spaces, the printable column between bars (0x20..0x7e as themselves, others '.'). A
// chunk over 48 bytes shows, unless all bytes are asked for, its first 16 bytes, " .. N bytes .. "
// and its last 16; its column those 32 with ".." between. '*' an event: a word, then
// fields separated by spaces; texts in double quotes, '"' and '\' escaped with '\',
// control bytes as \xNN. The events (from the host's side):
//   line "TEXT"                  a command line or the log-in word sent
//   reply "TEXT" ok|error|none   a line read, with its mark
//   start C | start NAK          a start request sent or received
//   packet N SIZE good|bad       a packet received (N its number byte) and its check
//   send N SIZE                  a packet sent; a resend is another send of N
//   ack|nak|can|eot in|out       a control byte received or sent
//   timeout WHAT MS              a wait ran out: answer, header, body or eot (one wait);
//                                start or reply (the whole wait, given up)
//   result CODE NAME             the WorkerResult posted
//   limit BYTES                  the trace reached its size limit and ends here
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <span>
#include <string_view>

#include "tidewell/engine/reply_marks.h"
#include "tidewell/tracefmt/trace_format.h"

namespace tidewell {

enum class TraceWay { out, in };  // to the device, from it
using TraceControl = tracefmt::Control;

// What the worker tells a trace. Called on the worker's thread only.
class TraceSink {
  public:
    virtual ~TraceSink() = default;
    virtual void chunk(TraceWay way, std::span<const std::uint8_t> bytes) = 0;
    virtual void commandLine(std::string_view line) = 0;
    virtual void reply(std::string_view line, protocol::ReplyMark mark) = 0;
    virtual void startRequest(std::uint8_t request) = 0;  // 'C' or NAK
    virtual void packet(std::uint8_t number, std::size_t size, bool good) = 0;
    virtual void send(std::uint8_t number, std::size_t size) = 0;
    virtual void control(TraceControl what, TraceWay way) = 0;
    virtual void timeout(std::string_view what, std::chrono::milliseconds wait) = 0;
    virtual void result(std::int32_t code) = 0;
};

// "resTransferOk"; "" for a code that is none.
std::string_view workerResultName(std::int32_t code);

// Writes a trace onto a stream. The worker's thread writes while a command runs; the
// owner writes the heading before the first and may flush at any time.
class TraceWriter final : public TraceSink {
  public:
    using Clock = std::chrono::steady_clock;
    // allBytes: every byte of a long chunk, not only its ends. now: the clock of the
    // record times (steady by default); the trace starts at its first reading. limitBytes:
    // the most the trace writes, heading included (0: no limit); it then ends with "limit".
    TraceWriter(std::ostream& out, bool allBytes, std::function<Clock::time_point()> now = {},
                std::size_t limitBytes = 0);
    ~TraceWriter() override;  // writes the run of chunks held back

    // Writes the run of chunks held back and flushes the stream.
    void flush();

    void heading(const tracefmt::Heading& heading);

    void chunk(TraceWay way, std::span<const std::uint8_t> bytes) override;
    void commandLine(std::string_view line) override;
    void reply(std::string_view line, protocol::ReplyMark mark) override;
    void startRequest(std::uint8_t request) override;
    void packet(std::uint8_t number, std::size_t size, bool good) override;
    void send(std::uint8_t number, std::size_t size) override;
    void control(TraceControl what, TraceWay way) override;
    void timeout(std::string_view what, std::chrono::milliseconds wait) override;
    void result(std::int32_t code) override;

  private:
    double sinceStart() const;
    void event(std::string_view text);
    void write(const std::string& line);

    std::mutex lock_;  // the owner's flush against the worker's records
    std::ostream& out_;
    bool allBytes_;
    std::function<Clock::time_point()> now_;
    Clock::time_point start_;
    std::size_t limit_;
    std::size_t written_ = 0;
    bool full_ = false;
    tracefmt::ChunkRun run_;
};

}  // namespace tidewell
