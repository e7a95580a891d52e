#include "several_ports.h"

#include <atomic>
#include <cerrno>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "output_writer.h"
#include "platform.h"
#include "port_plan.h"
#include "port_report.h"
#include "session.h"
#include "signal_watch.h"
#include "tidewell/fsutil/os_error.h"

namespace tidewell::cli {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Channel = OutputWriter::Channel;

std::string phaseText(SessionPhase phase) {
    switch (phase) {
        case SessionPhase::detecting:
            return "detecting";
        case SessionPhase::loggingIn:
            return "logging in";
        case SessionPhase::sending:
            return "sending";
        case SessionPhase::receiving:
            return "receiving";
        case SessionPhase::readingBack:
            return "reading back";
        case SessionPhase::commandLine:
            return "waiting for the reply";
    }
    return "";
}

// The name a session gives its link, which starts its messages about the port.
std::string linkName(const PortPlan& plan) {
    if (plan.choice.comNumber) return plan.label + " (" + plan.devicePath + ")";
    return plan.label;
}

std::string withoutPrefix(const std::string& message, const std::string& prefix) {
    return message.starts_with(prefix) ? message.substr(prefix.size()) : message;
}

// One port of the run: its plan, its own options, job and cancel, its thread and outcome.
struct PortRun {
    PortRun(std::size_t i, PortPlan p, const GlobalOptions& runOptions, const Job& runJob)
        : index(i), plan(std::move(p)), options(runOptions), job(runJob) {
        options.port = plan.choice;  // the session reads no other port option
        const bool onePort = !runOptions.allPorts && runOptions.ports.size() <= 1;
        if (!onePort && !options.traceFile.empty()) {
            options.traceFile = traceFileFor(options.traceFile, plan.folder);
        }
    }

    std::size_t index;
    PortPlan plan;
    GlobalOptions options;
    Job job;
    CancelFlag cancel;
    std::thread thread;
    std::atomic<bool> ended{false};
    bool started = false;
    PortOutcome outcome;
};

class SeveralPorts {
  public:
    SeveralPorts(const GlobalOptions& options, const Job& job, const CliIo& io)
        : options_(options), job_(job), command_(commandOf(job)), io_(io) {}
    ~SeveralPorts() {
        for (auto& run : runs_) {
            run->cancel.raise(SIGTERM);
            if (run->thread.joinable()) run->thread.join();
        }
    }

    ExitStatus run();

  private:
    ExitStatus fail(ExitStatus status, const std::string& message) {
        io_.err << kProgramName << ": " << message << '\n' << std::flush;
        return status;
    }
    void start(PortRun& run);
    void work(PortRun& run);
    ExitStatus runPort(PortRun& run, std::vector<std::string>* reply, SessionReport* report);
    void ended(PortRun& run);

    const GlobalOptions& options_;
    const Job& job_;
    const Command command_;
    const CliIo& io_;
    std::optional<OutputWriter> writer_;
    std::ofstream log_;
    CancelFlag portEnded_;  // raised by a port's thread as it ends
    std::vector<std::unique_ptr<PortRun>> runs_;
};

ExitStatus SeveralPorts::run() {
    std::optional<SignalWatch> signals;
    try {
        signals.emplace();
    } catch (const std::system_error& e) {
        return fail(ExitStatus::portError, std::string("cannot watch for Ctrl-C: ") + e.what());
    }
    std::string why;
    ExitStatus planStatus = ExitStatus::ok;
    ComPortResolver resolver;
    const auto plans = planPorts(options_, job_, resolver, DeviceRoots{}, &why, &planStatus);
    if (!plans) return fail(planStatus, why);

    std::vector<std::string> labels;
    for (const auto& plan : *plans) labels.push_back(plan.label);
    if (!options_.logFile.empty()) {
        log_.open(options_.logFile, std::ios::app);
        if (!log_) {
            return fail(ExitStatus::localFile, "cannot open the log file " + options_.logFile +
                                                   ": " + fsutil::reasonText(errno));
        }
        std::string names;
        for (const auto& label : labels) names += (names.empty() ? "" : ", ") + label;
        log_ << logHeading(command_) << ", ports " << names << '\n';
    }
    const bool board = io_.errIsTerminal && !options_.quiet;
    writer_.emplace(OutputWriter::Streams{io_.out, io_.err, log_.is_open() ? &log_ : nullptr, board,
                                          io_.outIsTerminal && !options_.json, screenColumns},
                    labels);
    for (std::size_t i = 0; i < plans->size(); ++i) {
        runs_.push_back(std::make_unique<PortRun>(i, (*plans)[i], options_, job_));
        writer_->status(i, "waiting for its turn");
    }

    const auto begin = Clock::now();
    const std::size_t jobs =
        options_.jobs == 0 ? runs_.size() : std::min<std::size_t>(options_.jobs, runs_.size());
    std::size_t next = 0;
    std::size_t running = 0;
    bool interrupted = false;
    for (;;) {
        for (auto& run : runs_) {
            if (run->started && run->ended && run->thread.joinable()) {
                run->thread.join();
                --running;
            }
        }
        while (!interrupted && running < jobs && next < runs_.size()) {
            start(*runs_[next++]);
            ++running;
        }
        if (running == 0 && (interrupted || next == runs_.size())) break;

        const int timeout = board ? static_cast<int>(OutputWriter::kRedrawInterval.count()) : -1;
        const unsigned ready = waitForEither(signals->fd(), portEnded_.fd(), timeout);
        if (ready & 1u) {
            if (const auto signal = signals->take()) {
                interrupted = true;
                for (auto& run : runs_) {
                    if (run->started) run->cancel.raise(*signal);
                }
            }
        }
        if (ready & 2u) portEnded_.take();
        writer_->tick(Clock::now());
    }

    std::vector<PortOutcome> outcomes;
    for (auto& run : runs_) {
        if (!run->started) {
            run->outcome.port = run->plan.label;
            run->outcome.devicePath = run->plan.devicePath;
            run->outcome.command = command_;
            run->outcome.status = ExitStatus::interrupted;
            run->outcome.message = "interrupted before it started";
            if (options_.json) writer_->plain(Channel::out, portJson(run->outcome));
        }
        outcomes.push_back(run->outcome);
    }
    writer_->closeBoard();
    const ExitStatus status = overallStatus(outcomes, interrupted);
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    const std::string table = summaryTable(outcomes);
    const auto writeTable = [&](Channel channel) {
        std::istringstream lines(table);
        for (std::string line; std::getline(lines, line);) writer_->plain(channel, line);
    };
    if (options_.json) {
        writer_->plain(Channel::out, summaryJson(outcomes, command_, seconds, status));
    } else {
        writeTable(Channel::out);
    }
    if (log_.is_open()) {
        writeTable(Channel::log);
        if (!log_.flush() && status == ExitStatus::ok) {
            return fail(ExitStatus::localFile,
                        "writing the log file " + options_.logFile + " failed");
        }
    }
    return status;
}

void SeveralPorts::start(PortRun& run) {
    run.started = true;
    writer_->status(run.index, "opening");
    run.thread = std::thread([this, &run] { work(run); });
}

ExitStatus SeveralPorts::runPort(PortRun& run, std::vector<std::string>* reply,
                                 SessionReport* report) {
    const std::size_t i = run.index;
    OutputWriter& writer = *writer_;
    // backup --dir and update --backup-first with several ports: the port's own folder in
    // the one given. One port named (--json) keeps the folder as it is.
    std::string* backupDir = backupFolder(run.job);
    if (backupDir != nullptr && (options_.allPorts || options_.ports.size() > 1)) {
        const fs::path folder = fs::path(*backupDir) / run.plan.folder;
        std::error_code ec;
        fs::create_directory(folder, ec);
        if (ec) {
            report->message = "cannot make the backup folder " + folder.string() + ": " +
                              fsutil::reasonText(ec.value());
            writer.line(i, Channel::err, std::string(kProgramName) + ": " + report->message);
            return ExitStatus::localFile;
        }
        *backupDir = folder.string();
    }
    LineStream out([&](std::string_view line) {
        if (options_.json) {
            reply->emplace_back(line);
        } else {
            writer.line(i, Channel::out, line);
        }
    });
    LineStream err([&](std::string_view line) { writer.line(i, Channel::err, line); });
    LineStream log([&](std::string_view line) { writer.line(i, Channel::log, line); });
    const CliIo io{out, err, -1, false, io_.outIsTerminal && !options_.json};

    SessionHooks hooks;
    hooks.cancel = &run.cancel;
    if (log_.is_open()) hooks.log = &log;
    SessionPhase phase = SessionPhase::detecting;
    hooks.phase = [&](SessionPhase now) {
        phase = now;
        writer.status(i, phaseText(now));
    };
    if (io_.errIsTerminal && !options_.quiet) {
        hooks.progress = [&](const ProgressSample& sample) {
            ProgressSample shown = sample;
            shown.label = phaseText(phase);
            writer.status(i, formatProgressLine(shown));
        };
    }
    Session session(run.options, run.job, io, std::move(hooks));
    const ExitStatus status = session.run();
    *report = session.report();
    return status;
}

void SeveralPorts::work(PortRun& run) {
    const auto begin = Clock::now();
    PortOutcome& outcome = run.outcome;
    outcome.port = run.plan.label;
    outcome.devicePath = run.plan.devicePath;
    outcome.command = command_;
    SessionReport report;
    try {
        outcome.status = runPort(run, &outcome.reply, &report);
    } catch (const std::exception& e) {
        outcome.status = ExitStatus::transferFailed;
        report.message = e.what();
        writer_->line(run.index, Channel::err, std::string(kProgramName) + ": " + e.what());
    }
    outcome.message = withoutPrefix(report.message, linkName(run.plan) + ": ");
    if (command_ == Command::send && outcome.status == ExitStatus::ok && !outcome.reply.empty()) {
        outcome.message = "replied " + outcome.reply.back();
    }
    const std::optional<FileToSend> sent = fileToSend(job_);
    outcome.file = !report.file.empty() ? report.file : sent ? sent->localFile : "";
    if (sent && sent->readsBack) outcome.verified = report.verified;
    // The transfer's own figures, also when a later step failed (its record, the read-back).
    outcome.bytes = report.bytes;
    outcome.transferSeconds = report.transferSeconds;
    outcome.sha256 = report.sha256;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    writer_->status(run.index, outcome.status == ExitStatus::ok
                                   ? "done"
                                   : "failed (" + std::to_string(exitCode(outcome.status)) + ")");
    if (options_.json) writer_->plain(Channel::out, portJson(outcome));
    run.ended = true;
    portEnded_.raise(1);
}

}  // namespace

ExitStatus runOnSeveralPorts(const GlobalOptions& options, const Job& job, const CliIo& io) {
    SeveralPorts ports(options, job, io);
    return ports.run();
}

}  // namespace tidewell::cli
