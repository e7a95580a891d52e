// One run of a command that talks to the device: the port and worker, the
// console, the device lines kept for a failure report and the --log file.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "signal_watch.h"
#include "tidewell/cli/exit_status.h"
#include "tidewell/cli/options.h"
#include "tidewell/cli/progress.h"
#include "tidewell/cli/run.h"
#include "tidewell/engine/port_session.h"
#include "transfer_verdict.h"

namespace tidewell::cli {

// The line that opens a run's part of the --log file: program, command and local time.
std::string logHeading(Command command);

// What a session is doing, for a caller that shows it.
enum class SessionPhase { detecting, loggingIn, sending, receiving, readingBack, commandLine };

// What a run on several ports hands each port's session; a one-port run uses none of it.
struct SessionHooks {
    // Stands for the process's signals: the session then watches none of its own.
    CancelSource* cancel = nullptr;
    // Takes the lines of --log (the session opens no file of its own).
    std::ostream* log = nullptr;
    std::function<void(SessionPhase)> phase;
    // Each progress of a transfer; the session then draws no progress line itself.
    std::function<void(const ProgressSample&)> progress;
};

// What one run did, for a summary. Its figures are those of the command's own transfer,
// not of the backups of --backup-first nor of a read-back.
struct SessionReport {
    std::string file;                       // backup: the file written (not --backup-first's)
    std::optional<std::uint64_t> bytes;     // once it succeeded: the bytes sent or received
    std::optional<double> transferSeconds;  // ... and how long it took
    std::string sha256;                     // ... and the SHA-256 of those bytes
    std::string message;                    // the last message: the failure, or what was done
    bool verified = false;                  // the file sent was read back and matched
};

class Session {
  public:
    // Device lines kept for the report on failure (the oldest are dropped).
    static constexpr std::size_t kKeptLines = 400;
    // The terminal keeps listening this long after the last line at end of input.
    static constexpr std::chrono::milliseconds kTerminalLinger{1000};
    // Retry interval for a line the worker's one-line mailbox cannot take yet.
    static constexpr std::chrono::milliseconds kMailboxRetry{20};
    // Longest line `terminal` takes from its input.
    static constexpr std::size_t kMaxInputLine = 4096;

    Session(const GlobalOptions& options, const Job& job, const CliIo& io, SessionHooks hooks = {});
    ~Session();

    ExitStatus run();
    const SessionReport& report() const { return report_; }

  private:
    ExitStatus runCommand();
    ExitStatus listPorts();
    ExitStatus openLink();
    ExitStatus detectAndLogin();
    // One block transfer between a local file and a device file.
    struct TransferJob {
        TransferWay way = TransferWay::toDevice;
        std::string deviceFile;
        std::string localPath;  // the file the worker reads or writes
        std::string shown;      // what messages call the local side: the file sent, the folder
        std::optional<std::uint64_t> size;  // of the file sent
        bool readBack = false;              // a download that checks a file just sent
        int copyFd = -1;                    // >= 0: an upload's bytes are copied there too
    };
    ExitStatus transfer(const TransferJob& job);
    // The last transfer that succeeded.
    struct TransferDone {
        std::uint64_t bytes = 0;  // an upload's: as the device acknowledged them
        double seconds = 0;
        std::string sha256;  // an upload's bytes
        int copyError = 0;   // errno of a failed write to the job's copy
    };
    // A numbered backup of deviceFile in folder, with its record; prints its path.
    ExitStatus backup(const std::string& deviceFile, const std::string& folder);

    // Backup records and read-back verification (session_records.cpp).
    ExitStatus verifyBackups(const std::vector<std::string>& files);
    ExitStatus checkRestoreRecord(const FileToSend& restore);
    // The folder backups go to, before the port is opened.
    ExitStatus checkBackupFolder(const std::string& folder);
    ExitStatus backupFirst(const std::string& folder);
    // Sends the file, then reads it back when asked.
    ExitStatus sendFile(const FileToSend& file, std::optional<std::uint64_t> size);
    // Compares the device file with sentCopy, the bytes the device acknowledged.
    ExitStatus readBackAndCompare(const FileToSend& file, const std::string& sentCopy);
    ExitStatus writeRecord(const std::string& deviceFile, const std::string& backup);
    ExitStatus sendLine(const std::string& line);
    ExitStatus terminal();

    ExitStatus fail(ExitStatus status, const std::string& message);
    ExitStatus interrupted(const std::string& what);
    void info(const std::string& text);
    void deviceLine(const std::string& text);
    void takeEvent(const WorkerEvent& event);
    std::string lostMessage() const;
    // A wait after detection (the log-in, a reply): --timeout, never below the engine's floor.
    std::chrono::milliseconds laterWait() const;
    // A device line for standard output: exact, or visible when that is a terminal.
    std::string forOut(const std::string& text) const;

    void notePhase(SessionPhase phase) const {
        if (hooks_.phase) hooks_.phase(phase);
    }

    const GlobalOptions& options_;
    const Job& job_;
    const CliIo& io_;
    SessionHooks hooks_;
    SessionReport report_;
    StatusConsole console_;
    std::ofstream logFile_;
    std::ofstream traceFile_;      // outlives link_, which writes to it
    std::ostream* log_ = nullptr;  // logFile_, the hooks' log, or none
    std::deque<std::string> kept_;
    std::string lastErrorLine_;            // the last worker line starting with "Error"
    std::vector<std::string> loginLines_;  // what a record keeps of the answer to the log-in
    TransferDone lastTransfer_;
    std::string failureNote_;  // ends every failure message while set: what it means here
    std::optional<SignalWatch> signals_;
    CancelSource* cancel_ = nullptr;  // signals_, or the hooks' source
    std::unique_ptr<PortSession> link_;
};

}  // namespace tidewell::cli
