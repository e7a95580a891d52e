// CTidewellThread: the worker that owns all traffic with the device while a port
// is open. The owner gives it commands (WorkerCommand), a local file name and one
// line at a time to send; the worker reports through its Notifier only.
//
// Owner side (any one thread): cancel, setFileName, queueCommandLine, setCommand,
// shutdown, and the CBaseThread operations. Everything protected runs on the
// worker thread inside a command, with `commandLock` held.
//
// A command is its code, the serial the owner gave with it and the file name set
// before it: setCommand takes all three at once, so a name set for the next
// command never reaches one that is still running, and every notification a
// command posts carries its serial.
//
// The worker reads the port through `portRef` at every read and write; the owner
// must delete the worker before it deletes or replaces the port.
//
// A lost link ends the running command at its next poll, after one text line naming
// the device and the reason (also kept for linkError()): the port's reads or writes
// fail with a device-lost error, or the port does not take a write within twice its
// line time plus EngineTiming::writeMargin. Detection and log-in then post
// resDeviceLost, a transfer session resTransferError; the terminal loop ends without
// a result.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "tidewell/engine/base_thread.h"
#include "tidewell/engine/session_outcome.h"
#include "tidewell/engine/timing.h"
#include "tidewell/engine/worker_codes.h"
#include "tidewell/serial/comm.h"
#include "tidewell/serial/event.h"

namespace tidewell {

class LocalFile;
class TraceSink;
class TSerie;

class CTidewellThread : public CBaseThread {
  public:
    // Longest line kept waiting for its carriage return; a longer run of bytes
    // without one is delivered as a line of its own, so the receive buffer stays
    // bounded on a flood.
    static constexpr std::size_t kMaxLineLength = 4096;
    // Hard bound of the receive buffer: no port read is made that could pass it (the
    // bytes wait in the port until lines are taken).
    static constexpr std::size_t kRxBufferLimit = 2 * kMaxLineLength;
    // Lines of the answer to the log-in word that loginOutcome keeps (the first ones).
    static constexpr std::size_t kKeptLoginLines = 64;

    // logStream (may be null) receives the port trace; it must outlive the worker.
    CTidewellThread(TSerie*& portRef, std::int32_t initialCommand,
                    std::ostream* logStream = nullptr, const EngineTiming& timing = EngineTiming{});
    ~CTidewellThread() override;

    void cancel();
    // Worker side: running and no cancel requested.
    bool isActive() const;
    // The local file of the next command given (setCommand takes it).
    void setFileName(const std::string& path);
    // One-slot mailbox: false (and nothing changes) while a line is pending or the
    // worker is not running.
    bool queueCommandLine(const std::string& line);
    // Waits until no command runs, stores code with serial and the file name set
    // so far, wakes the worker; returns code.
    std::int32_t setCommand(std::int32_t code, std::uint32_t serial = 0);
    // Ends the worker: no notification is delivered once this has begun.
    void shutdown();
    // The text line of the last lost link (see above); empty while none was lost.
    // Any thread.
    std::string linkError() const;
    // Why the last log-in or transfer session ended without success, as one sentence for
    // the user (a lost device with the system's reason, the line the device refused,
    // silence, a stop); empty after a success. Set before the result is posted. Any thread.
    std::string failureReason() const;
    // The last log-in, once it has returned; any thread.
    LoginOutcome loginOutcome() const;
    // The last transfer session, also while it runs; any thread.
    TransferOutcome transferOutcome() const;
    // What the port has given the worker since it was made; any thread.
    DeviceInput deviceInput() const;
    // The protocol trace (null: none), beside logStream; waits until no command runs.
    // The sink must outlive the worker or be replaced first.
    void setTraceSink(TraceSink* sink);

  protected:
    std::uint32_t run() override;
    // Runs the handler of one command code and returns its result. Virtual so that
    // a derived worker can add commands of its own.
    virtual std::int32_t dispatchCommand(std::int32_t code);

    void postText(const std::string& text);
    void postResult(std::int32_t code);
    void postProgress(std::int32_t percent);

    // Byte and line layer.
    bool writeBlock(std::span<const std::uint8_t> data);
    // One port read of up to 16 bytes; returns the count read.
    std::size_t readWaitingBytes(std::chrono::milliseconds wait);
    bool readByte(std::uint8_t& out, std::chrono::milliseconds wait);
    bool readLine(std::string& line, std::chrono::milliseconds wait);
    bool readReply(std::string& line, std::chrono::milliseconds wait);
    void flushInput();
    bool sendByte(std::uint8_t byte);
    bool sendString(const std::string& text);
    bool sendLine(const std::string& text);

    // Command handlers.
    std::int32_t detectDevice();
    std::int32_t login();
    std::int32_t runTerminal();
    std::int32_t runUpload();
    std::int32_t runDownload();

    // Block transfer (XMODEM-1K, CRC-16 or checksum).
    std::int32_t sendFile(const std::string& path);
    std::int32_t receiveFile(const std::string& path);
    // Closes the file a download was written to; false when its data may be lost.
    virtual bool closeReceivedFile(LocalFile& file);
    // The file's bytes of each packet the device acknowledged, in order (no padding): what
    // a sent file's digest and count must be taken from, whatever happens to the file.
    virtual void onBytesDelivered(std::span<const std::uint8_t> /*bytes*/) {}

    // The bytes read and not yet taken by a consumer.
    std::vector<std::uint8_t>& receiveBuffer() { return rxBuffer; }
    std::string peekPendingLine() const;
    void clearPendingLine();
    const EngineTiming& timing() const { return timing_; }
    // True once the port reported a lost device during the current command.
    bool deviceLost() const { return deviceLost_; }
    // The errno of the local file's failure in the current transfer session; 0 when none.
    int localFileError() const { return localFileError_; }

  private:
    // isActive and the device still there: every loop polls this.
    bool keepGoing() const { return isActive() && !deviceLost_; }
    // What a block operation returns when keepGoing fails.
    std::int32_t stopResult() const { return deviceLost_ ? resTransferError : resStopped; }
    // Ends detection or log-in: resDeviceLost (posted) after a lost link, else resStopped.
    std::int32_t lostOrStopped();
    void noteLinkError(DWORD error);
    void noteLinkLost(const std::string& text);
    void logLine(const std::string& text);
    std::string currentFileName() const;
    bool searchLoginPrompt();
    std::int32_t runTransferSession(bool upload);
    void sendCancel();
    // A transfer ended by a cancel or shutdown: three CAN, so the device leaves it now
    // rather than after its time-outs.
    void tellDeviceCancelled();
    // Waits (bounded) for the line a cancelled transfer's device ends with.
    void settleAfterCancelledTransfer();
    // Changes the running transfer's outcome under its lock.
    template <typename Change>
    void updateOutcome(Change change) {
        std::lock_guard lock(outcomeLock_);
        change(outcome_);
    }
    // A packet was delivered (or the device accepted the command line): counts since
    // progress start again.
    void markProgress();
    // Counts an answer byte a sender read as a frame from the device; starting: while
    // waiting for the start request.
    void noteSenderAnswer(std::uint8_t byte, bool starting = false);
    void traceSenderAnswer(std::uint8_t byte, bool starting);
    // Records the session's end and posts its result (unless !post).
    std::int32_t endTransfer(std::int32_t result, bool post = true);
    // Keeps the first reason given since the session began; "Error: " is dropped.
    void setFailureReason(std::string reason);
    std::string stoppedReason() const;
    std::string blockFailureReason(std::int32_t result, bool upload, const std::string& path) const;
    // Drops what has arrived and not been read, without waiting for more.
    void discardWaitingInput();
    bool remoteCancelFollows(bool needSecondCan, std::chrono::milliseconds wait);
    void flushAfterEndOfTransmission();
    // Time the port's line needs for bytes. A write returns once its bytes are queued,
    // not once they have left the line, so the wait for the answer to a packet starts
    // that much later than the write's return.
    std::chrono::milliseconds lineTime(std::size_t bytes) const;
    // EngineTiming's pause and now, or sleep_for and the steady clock.
    void pause(std::chrono::milliseconds wait) const;
    std::chrono::steady_clock::time_point now() const;

    std::atomic<bool> cancelRequested{false};
    mutable std::mutex mailboxLock_;  // guards fileName, pendingLine, linkError_, failureReason_
    std::string fileName;
    std::string pendingLine;
    // The command to run, its serial and its file name; guarded by commandLock.
    std::int32_t command;
    std::uint32_t commandSerial_ = 0;
    std::string commandFileName_;
    std::mutex commandLock;
    ManualResetEvent commandEvent;
    ManualResetEvent readEvent;
    ManualResetEvent writeEvent;
    TSerie*& portRef;
    std::vector<std::uint8_t> rxBuffer;
    std::ostream* logStream;
    TraceSink* trace_ = nullptr;  // set under commandLock
    EngineTiming timing_;
    bool deviceLost_ = false;                // worker thread only
    bool takesNoData_ = false;               // worker thread only: lost for a stuck write
    std::string linkError_;                  // guarded by mailboxLock_
    std::string failureReason_;              // guarded by mailboxLock_
    bool cancelledTransferPending_ = false;  // worker thread only
    int localFileError_ = 0;                 // worker thread only
    mutable std::mutex outcomeLock_;         // guards the four below
    LoginOutcome login_;
    TransferOutcome outcome_;
    DeviceInput input_;
    DeviceInput inputAtProgress_;
};

}  // namespace tidewell
