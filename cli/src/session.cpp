#include "session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <functional>

#include "terminal_input.h"
#include "tidewell/cli/port_list.h"
#include "tidewell/cli/visible_text.h"
#include "tidewell/engine/protocol.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/plan/pending_backup.h"
#include "tidewell/records/backup_record.h"
#include "tidewell/records/input_file.h"
#include "tidewell/records/sha256.h"
#include "tidewell/serial/ports.h"
#include "tidewell/settings/settings.h"
#include "tidewell/version.h"
#include "trace_report.h"

namespace tidewell::cli {

namespace {

using Clock = std::chrono::steady_clock;
using protocol::ReplyMark;
using protocol::replyMark;

constexpr std::string_view kDeviceLinePrefix = "| ";

// An upload's bytes as the device acknowledged them: counted, hashed and, for a
// read-back, copied, so that they describe what was sent whatever becomes of the file.
struct Delivery {
    int copyFd = -1;    // >= 0: the bytes are written there too
    int copyError = 0;  // errno of a failed write to the copy
    std::uint64_t bytes = 0;
    Sha256 digest;

    void take(std::span<const std::uint8_t> data) {
        digest.update(data);
        bytes += data.size();
        while (copyFd >= 0 && copyError == 0 && !data.empty()) {
            const ssize_t done = ::write(copyFd, data.data(), data.size());
            if (done < 0 && errno == EINTR) continue;
            if (done < 0) {
                copyError = errno;
                break;
            }
            data = data.subspan(static_cast<std::size_t>(done));
        }
    }
};

// A file to send: a readable regular file, opened without blocking (a FIFO would hold
// open() until a writer comes); its size now.
bool checkReadable(const std::string& path, std::optional<std::uint64_t>* size, std::string* why) {
    int error = 0;
    const auto file = records::InputFile::open(path, nullptr, &error);
    if (!file) {
        // The transfer takes its length from the file system: anything else would go out empty.
        *why = error != 0 ? "cannot read " + path + ": " + fsutil::reasonText(error)
                          : "cannot send " + path + ": not a regular file";
        return false;
    }
    *size = file->size();
    return true;
}

}  // namespace

std::string logHeading(Command command) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return "--- " + std::string(kProgramName) + " " + std::string(commandName(command)) + ", " +
           text;
}

Session::Session(const GlobalOptions& options, const Job& job, const CliIo& io, SessionHooks hooks)
    : options_(options),
      job_(job),
      io_(io),
      hooks_(std::move(hooks)),
      console_(io.err, io.errIsTerminal),
      log_(hooks_.log) {}

Session::~Session() {
    link_.reset();  // worker and port go before the signal watch
}

std::chrono::milliseconds Session::laterWait() const {
    return silenceAtLeast(options_.timeout);
}

std::string Session::forOut(const std::string& text) const {
    return io_.outIsTerminal ? visibleText(text) : text;
}

// Messages may quote device lines or hold odd file names: shown visibly, as are
// device lines on standard error and in the log file.
void Session::info(const std::string& text) {
    const std::string shown = visibleText(text);
    report_.message = shown;
    if (log_) *log_ << kProgramName << ": " << shown << '\n' << std::flush;
    if (!options_.quiet) console_.line(shown);
}

void Session::deviceLine(const std::string& text) {
    if (text.starts_with("Error")) lastErrorLine_ = text;
    if (log_) {
        const std::string shown = visibleText(text);
        *log_ << shown << '\n' << std::flush;
        console_.line(std::string(kDeviceLinePrefix) + shown);
        return;
    }
    kept_.push_back(text);
    if (kept_.size() > kKeptLines) kept_.pop_front();
}

void Session::takeEvent(const WorkerEvent& event) {
    if (event.kind == WorkerEvent::Kind::text) deviceLine(event.text);
}

ExitStatus Session::fail(ExitStatus status, const std::string& message) {
    console_.endProgress();
    if (!kept_.empty()) {
        console_.line("Device lines:");
        for (const auto& line : kept_) {
            console_.line(std::string(kDeviceLinePrefix) + visibleText(line));
        }
        kept_.clear();
    }
    const std::string shown =
        visibleText(failureNote_.empty() ? message : message + "; " + failureNote_);
    report_.message = shown;
    if (log_) *log_ << kProgramName << ": error: " << shown << '\n' << std::flush;
    console_.line(std::string(kProgramName) + ": " + shown);
    return status;
}

ExitStatus Session::interrupted(const std::string& what) {
    link_.reset();
    kept_.clear();  // the user stopped it: the device did nothing worth showing
    return fail(ExitStatus::interrupted, "interrupted: " + what + "; the port is released");
}

std::string Session::lostMessage() const {
    std::string text = link_->name() + ": the device was lost";
    if (!lastErrorLine_.empty()) text += " (" + lastErrorLine_ + ")";
    return text;
}

ExitStatus Session::run() {
    if (!log_ && !options_.logFile.empty()) {
        logFile_.open(options_.logFile, std::ios::app);
        if (!logFile_) {
            return fail(ExitStatus::localFile, "cannot open the log file " + options_.logFile +
                                                   ": " + fsutil::reasonText(errno));
        }
        log_ = &logFile_;
        *log_ << logHeading(commandOf(job_)) << '\n';
    }
    const ExitStatus status = runCommand();
    if (logFile_.is_open() && !logFile_.flush() && status == ExitStatus::ok) {
        return fail(ExitStatus::localFile, "writing the log file " + options_.logFile + " failed");
    }
    if (traceFile_.is_open()) {
        link_.reset();  // its worker writes the trace up to here
        if (!traceFile_.flush() && status == ExitStatus::ok) {
            return fail(ExitStatus::localFile,
                        "writing the trace file " + options_.traceFile + " failed");
        }
    }
    return status;
}

ExitStatus Session::runCommand() {
    if (std::holds_alternative<PortsJob>(job_)) return listPorts();

    if (const auto* job = std::get_if<VerifyJob>(&job_)) return verifyBackups(job->files);
    if (const auto* job = std::get_if<TraceJob>(&job_)) {
        return reportTraces(
            job->files, options_.json, io_.out,
            [this](ExitStatus status, const std::string& message) { fail(status, message); });
    }

    const std::optional<FileToSend> file = fileToSend(job_);
    std::optional<std::uint64_t> size;
    if (file) {
        std::string why;
        if (!checkReadable(file->localFile, &size, &why)) return fail(ExitStatus::localFile, why);
        if (*size == 0 && !file->force) {
            return fail(ExitStatus::localFile,
                        file->localFile + " is empty: it would leave the device's " +
                            inQuotes(file->deviceFile) +
                            " empty; nothing was sent (--force sends it anyway)");
        }
    }
    ExitStatus status = ExitStatus::ok;
    if (std::holds_alternative<RestoreJob>(job_)) status = checkRestoreRecord(*file);
    const std::string* folder = backupFolder(job_);
    if (status == ExitStatus::ok && folder) status = checkBackupFolder(*folder);
    if (status == ExitStatus::ok) status = openLink();
    if (status == ExitStatus::ok) status = detectAndLogin();
    // update --backup-first: the backups go before the package.
    if (status == ExitStatus::ok && file && folder) status = backupFirst(*folder);
    if (status != ExitStatus::ok) return status;

    if (file) return sendFile(*file, size);
    if (const auto* job = std::get_if<BackupJob>(&job_))
        return backup(job->deviceFile, job->folder);
    if (const auto* job = std::get_if<SendJob>(&job_)) return sendLine(job->line);
    if (std::holds_alternative<TerminalJob>(job_)) return terminal();
    return ExitStatus::ok;  // detect
}

ExitStatus Session::listPorts() {
    ComPortResolver resolver;
    const auto entries = resolver.entries();
    const TidewellSettings settings;
    io_.out << formatPortList(entries, settings.getCommPort()) << std::flush;
    if (const std::string error = resolver.store().lastError(); !error.empty()) {
        info("note: the port numbers could not be saved: " + error);
    }
    return ExitStatus::ok;
}

ExitStatus Session::openLink() {
    cancel_ = hooks_.cancel;
    if (!cancel_) {
        try {
            cancel_ = &signals_.emplace();
        } catch (const std::system_error& e) {
            return fail(ExitStatus::portError, std::string("cannot watch for Ctrl-C: ") + e.what());
        }
    }
    PortTarget target;
    target.platform = defaultSerialPlatform();
    if (options_.port.comNumber) {
        target.portNumber = *options_.port.comNumber;
    } else if (!options_.port.path.empty()) {
        target.path = options_.port.path;
    } else {
        target.portNumber = TidewellSettings().getCommPort();
    }
    std::string why;
    link_ = PortSession::open(std::move(target), options_.speed, boundedBy(options_.timeout),
                              *cancel_, &why);
    if (!link_) return fail(ExitStatus::portError, why);
    if (!options_.traceFile.empty()) {
        traceFile_.open(options_.traceFile, std::ios::trunc);
        if (!traceFile_) {
            return fail(ExitStatus::localFile, "cannot open the trace file " + options_.traceFile +
                                                   ": " + fsutil::reasonText(errno));
        }
        link_->startTrace(traceFile_, kProgramName, kTidewellVersion, options_.traceAllBytes);
    }
    info("Opened " + link_->name() + " at " + std::to_string(link_->baudRate()) + " bit/s.");
    return ExitStatus::ok;
}

ExitStatus Session::detectAndLogin() {
    using How = PortSession::CommandEnd::How;
    const auto keep = [this](const WorkerEvent& e) {
        takeEvent(e);
        return false;
    };
    const auto drain = [this](const WorkerEvent& e) { takeEvent(e); };
    info("Waiting for the device (power it up now) ...");
    notePhase(SessionPhase::detecting);
    const auto detection = link_->run(cmdDetect, Clock::now() + options_.timeout, keep, drain);
    if (detection.how == How::interrupted) return interrupted("detection stopped");
    if (detection.how == How::deadline) {
        return fail(ExitStatus::noDevice, link_->name() + ": no device answered within " +
                                              seconds(options_.timeout) +
                                              " (no \":LOGIN:\" prompt)");
    }
    if (detection.deviceLost) return fail(ExitStatus::portError, lostMessage());
    if (detection.result != resDetected)
        return fail(ExitStatus::noDevice, link_->name() + ": detection ended without a device");
    info("Device detected; logging in ...");
    notePhase(SessionPhase::loggingIn);

    const auto logIn = link_->run(cmdLogin, Clock::time_point::max(), keep, drain);
    if (logIn.how == How::interrupted) return interrupted("log-in stopped");
    if (logIn.deviceLost) return fail(ExitStatus::portError, lostMessage());
    const LoginOutcome login = link_->worker().loginOutcome();
    loginLines_.clear();
    for (const std::string& line : login.lines) keepLoginLine(loginLines_, line);
    if (login.mark == ReplyMark::error) {
        return fail(ExitStatus::deviceError,
                    link_->name() + ": the device refused the log-in: " + inQuotes(login.answer));
    }
    if (login.mark == ReplyMark::none) {
        return fail(ExitStatus::timeout, link_->name() +
                                             ": the device did not confirm the log-in within " +
                                             seconds(laterWait()) + " (no \":OK:\" line)");
    }
    info("Logged in.");
    return ExitStatus::ok;
}

ExitStatus Session::backup(const std::string& deviceFile, const std::string& folder) {
    const std::string base = deviceFile + ".bak";
    const std::string pattern = deviceFile + "_%d.bak";
    std::string why;
    auto pending = PendingBackup::create(folder, base, pattern, &why);
    if (!pending) return fail(ExitStatus::localFile, why);
    const ExitStatus status = transfer(
        {TransferWay::fromDevice, deviceFile, pending->partialPath().string(), folder, {}, false});
    if (status != ExitStatus::ok) return status;  // the partial file goes with `pending`
    const auto written = pending->commit(&why);
    if (!written) return fail(ExitStatus::localFile, why);
    if (std::holds_alternative<BackupJob>(job_)) {
        report_.file = written->string();
        report_.bytes = lastTransfer_.bytes;
        report_.transferSeconds = lastTransfer_.seconds;
        if (const auto digest = digestFile(*written)) report_.sha256 = digest->sha256;
    }
    io_.out << written->string() << '\n' << std::flush;
    return writeRecord(deviceFile, written->string());
}

ExitStatus Session::transfer(const TransferJob& job) {
    const bool upload = job.way == TransferWay::toDevice;
    const std::string commandLine = transferCommandLine(job.way, job.deviceFile);
    const std::string file = inQuotes(job.deviceFile);
    const std::string starting = upload         ? "Sending " + job.shown + " to " + file
                                 : job.readBack ? "Reading " + file + " back to verify it"
                                                : "Receiving " + file + " into " + job.shown;
    info(starting + " ...");
    notePhase(upload         ? SessionPhase::sending
              : job.readBack ? SessionPhase::readingBack
                             : SessionPhase::receiving);

    StatusConsole quietConsole(io_.err, false);
    const auto start = Clock::now();
    ProgressMeter meter(options_.quiet ? quietConsole : console_, job.way, job.deviceFile,
                        upload ? job.size : std::nullopt, start, hooks_.progress);
    Delivery sent;
    sent.copyFd = job.copyFd;
    const auto seen = [&](const WorkerEvent& e) {
        takeEvent(e);
        if (e.kind == WorkerEvent::Kind::progress && !options_.quiet)
            meter.update(e.value, link_->worker().transferOutcome().bytes, Clock::now());
    };
    const std::optional<TransferRun> run = link_->transfer(
        {job.way, job.deviceFile, job.localPath, upload && job.size == std::uint64_t{0}},
        SilencePolicy::atLeast(options_.timeout, link_->timing(), link_->baudRate()), seen,
        [&sent](std::span<const std::uint8_t> bytes) { sent.take(bytes); });
    if (!run) {
        return fail(ExitStatus::transferFailed,
                    link_->name() + ": the worker did not take the line " + inQuotes(commandLine));
    }
    const TransferVerdict verdict = judgeTransfer(
        *run,
        {link_->name(), job.deviceFile, commandLine, job.localPath, lastErrorLine_, job.readBack});
    // A backup's size is that of its file; the percentages only estimate it.
    std::optional<std::uint64_t> received;
    if (!upload && verdict.status == ExitStatus::ok) {
        struct stat info {};
        if (::stat(job.localPath.c_str(), &info) == 0)
            received = static_cast<std::uint64_t>(info.st_size);
    }
    if (!options_.quiet) meter.finish(verdict.status == ExitStatus::ok, Clock::now(), received);

    if (verdict.status == ExitStatus::interrupted) {
        link_.reset();
        kept_.clear();  // the user stopped it: the device did nothing worth showing
    }
    if (verdict.status != ExitStatus::ok) return fail(verdict.status, verdict.message);
    const auto took = std::chrono::duration<double>(Clock::now() - start);
    const std::optional<std::uint64_t> bytes = upload ? std::optional(sent.bytes) : received;
    lastTransfer_ = {bytes.value_or(0), took.count(), upload ? sent.digest.finish() : "",
                     sent.copyError};
    std::string done = upload         ? "Sent " + job.shown + " to " + file
                       : job.readBack ? "Read " + file + " back"
                                      : "Received " + file;
    if (bytes) {
        done += " (" + formatSize(*bytes) + ", " +
                formatRate(took.count() > 0 ? static_cast<double>(*bytes) / took.count() : 0) + ")";
    }
    info(done + ".");
    return ExitStatus::ok;
}

ExitStatus Session::sendLine(const std::string& line) {
    using How = PortSession::CommandEnd::How;
    // Queued before the terminal loop starts, so the loop sends it first.
    if (!link_->worker().queueCommandLine(line)) {
        return fail(ExitStatus::transferFailed,
                    link_->name() + ": the worker did not take the line " + inQuotes(line));
    }
    notePhase(SessionPhase::commandLine);
    // The whole reply, up to its marked line, must come within the wait: neither
    // other lines nor the pieces the worker cuts from a line that never ends extend it.
    const DeviceInput atSend = link_->input();
    const auto wait = laterWait();
    std::string answer;
    const auto seen = [&](const WorkerEvent& event) {
        if (event.kind != WorkerEvent::Kind::text) return false;
        if (log_) deviceLine(event.text);
        if (event.text.starts_with("Error")) lastErrorLine_ = event.text;
        io_.out << forOut(event.text) << '\n' << std::flush;
        if (replyMark(event.text) == ReplyMark::none) return false;
        answer = event.text;
        return true;
    };
    const auto end = link_->run(cmdTerminal, Clock::now() + wait, seen,
                                [this](const WorkerEvent& e) { takeEvent(e); });
    if (end.how == How::interrupted)
        return interrupted("waiting for the reply to " + inQuotes(line));
    if (end.how == How::enough) {
        if (replyMark(answer) == ReplyMark::ok) return ExitStatus::ok;
        return fail(ExitStatus::deviceError, link_->name() + ": the device replied " +
                                                 inQuotes(answer) + " to " + inQuotes(line));
    }
    if (end.deviceLost) return fail(ExitStatus::portError, lostMessage());
    return fail(ExitStatus::timeout, link_->name() + ": no reply to " + inQuotes(line) +
                                         " within " + seconds(wait) +
                                         sentInstead(end.input - atSend, "a reply line"));
}

ExitStatus Session::terminal() {
    TerminalInput input(io_.inputFd);
    auto& worker = link_->worker();
    link_->command(cmdTerminal);
    info("Terminal: lines typed go to the device; end with " + std::string(endOfInputKey()) +
         " or Ctrl-C.");
    const auto printLine = [this](const std::string& text) {
        if (log_) *log_ << visibleText(text) << '\n' << std::flush;
        if (text.starts_with("Error")) lastErrorLine_ = text;
        io_.out << forOut(text) << '\n' << std::flush;
    };
    const auto printDrained = [&](const WorkerEvent& e) {
        if (e.kind == WorkerEvent::Kind::text) printLine(e.text);
    };
    // Lines of the last chunk read, waiting for the worker's one-line mailbox. Input is
    // read only when they have all gone, so memory follows the line, not the input.
    std::deque<std::string> outgoing;
    std::string partial;
    std::uint64_t lineNumber = 1;
    bool inputOpen = true;
    bool tooLong = false;  // input ended at a line over the limit; the lines before it go
    auto lastActivity = Clock::now();  // a line sent or received, the end of input
    auto lastSent = lastActivity;      // a line sent, the end of input
    std::uint64_t lineEnds = link_->input().lineEnds;
    WorkerEvent event;
    for (;;) {
        while (!outgoing.empty() && worker.queueCommandLine(outgoing.front())) {
            outgoing.pop_front();
            lastActivity = lastSent = Clock::now();
        }
        Clock::time_point deadline = Clock::time_point::max();
        if (!outgoing.empty()) {
            deadline = Clock::now() + kMailboxRetry;
        } else if (!inputOpen) {
            // A device that never stops talking does not hold the end for good.
            deadline = std::min(
                lastActivity + kTerminalLinger,
                lastSent + std::max<std::chrono::milliseconds>(options_.timeout, kTerminalLinger));
        }
        const int inputFd = inputOpen && outgoing.empty() ? io_.inputFd : -1;
        switch (link_->wait(deadline, &event, inputFd)) {
            case WaitEnd::signal:
                link_->cancelAndSettle(PortSession::kSettleLimit,
                                       [this](auto& e) { takeEvent(e); });
                return interrupted("terminal ended");
            case WaitEnd::deadline:
                if (!inputOpen && outgoing.empty()) {
                    link_->cancelAndSettle(PortSession::kSettleLimit, printDrained);
                    io_.out << std::flush;
                    if (tooLong) {
                        return fail(ExitStatus::usage, "input line " + std::to_string(lineNumber) +
                                                           " is longer than " +
                                                           std::to_string(kMaxInputLine) +
                                                           " bytes; the terminal ends before it");
                    }
                    return ExitStatus::ok;
                }
                break;
            case WaitEnd::input: {
                const TerminalInput::Chunk got = input.read();
                for (std::size_t i = 0; i < got.bytes.size() && !tooLong; ++i) {
                    const char c = got.bytes[i];
                    if (c == '\n') {
                        // An empty line cannot go through the worker's mailbox.
                        if (!partial.empty()) outgoing.push_back(std::move(partial));
                        partial.clear();
                        ++lineNumber;
                    } else if (c != '\r') {
                        partial.push_back(c);
                        tooLong = partial.size() > kMaxInputLine;
                    }
                }
                if (tooLong || got.ended) {
                    // Input ends here; the lines before it still go, and their replies come.
                    // A line over the limit does not.
                    if (!tooLong && !partial.empty()) outgoing.push_back(std::move(partial));
                    inputOpen = false;
                    partial.clear();
                    lastActivity = lastSent = Clock::now();
                }
                break;
            }
            case WaitEnd::event:
                if (event.kind == WorkerEvent::Kind::commandEnded) {
                    if (event.deviceLost) return fail(ExitStatus::portError, lostMessage());
                    return fail(ExitStatus::transferFailed,
                                link_->name() + ": the terminal loop ended");
                }
                if (event.kind != WorkerEvent::Kind::text) break;
                // A piece cut from a line that never ends is no line.
                if (const std::uint64_t ends = link_->input().lineEnds; ends != lineEnds) {
                    lineEnds = ends;
                    lastActivity = Clock::now();
                }
                printLine(event.text);
                break;
        }
    }
}

}  // namespace tidewell::cli
