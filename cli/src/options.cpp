#include "tidewell/cli/options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>
#include <vector>

#include "tidewell/cli/exit_status.h"
#include "tidewell/serial/ports.h"

namespace tidewell::cli {

namespace {

constexpr double kLongestTimeoutSeconds = 7 * 24 * 3600.0;
constexpr std::string_view kAllPorts = "all";

// Each command's name and its job before the operands.
struct CommandSpec {
    std::string_view name;
    Job job;
};

const CommandSpec kCommands[] = {
    {"ports", PortsJob{}},       {"detect", DetectJob{}},   {"update", UpdateJob{}},
    {"backup", BackupJob{}},     {"restore", RestoreJob{}}, {"send", SendJob{}},
    {"terminal", TerminalJob{}}, {"verify", VerifyJob{}},   {"trace", TraceJob{}},
};

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

template <typename T>
std::optional<T> parseUnsigned(std::string_view text) {
    T value{};
    const char* end = text.data() + text.size();
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::optional<std::chrono::milliseconds> parseSeconds(std::string_view text) {
    // Decimal seconds such as "60" or "0.5"; from_chars for double is locale-free.
    double seconds = 0;
    const char* end = text.data() + text.size();
    if (text.empty() || text.front() == '+' || text.front() == '-') return std::nullopt;
    const auto [ptr, ec] = std::from_chars(text.data(), end, seconds, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(seconds)) return std::nullopt;
    if (seconds <= 0 || seconds > kLongestTimeoutSeconds) return std::nullopt;
    // Milliseconds from the digits themselves: seconds * 1000 in binary floating point can
    // land a hair above a whole number ("4.001" would give 4002 ms).
    long long ms = 0;
    const auto point = text.find('.');
    for (const char digit : text.substr(0, point)) ms = ms * 10 + (digit - '0');
    ms *= 1000;
    if (point != std::string_view::npos) {
        const std::string_view fraction = text.substr(point + 1);
        long long scale = 100;
        for (std::size_t i = 0; i < fraction.size(); ++i, scale /= 10) {
            const int digit = fraction[i] - '0';
            if (i < 3) {
                ms += digit * scale;
            } else if (digit != 0) {
                ++ms;  // rounds up, so a wait is never shorter than asked
                break;
            }
        }
    }
    return std::chrono::milliseconds(std::max(1LL, ms));
}

class Parser {
  public:
    explicit Parser(std::span<const std::string_view> args) : args_(args) {}

    ParseResult run() {
        std::vector<std::string_view> operands;
        bool optionsEnded = false;
        for (index_ = 0; index_ < args_.size() && result_.ok(); ++index_) {
            const std::string_view arg = args_[index_];
            if (optionsEnded || arg == "-" || arg.empty() || arg.front() != '-') {
                operands.push_back(arg);
            } else if (arg == "--") {
                optionsEnded = true;
            } else {
                option(arg);
            }
        }
        if (!result_.ok() || result_.helpRequested || result_.versionRequested) return result_;
        commandAndOperands(operands);
        return result_;
    }

  private:
    void fail(std::string text) {
        if (result_.ok()) result_.error = std::move(text);
    }

    // The value of an option: after '=' or in the next argument.
    std::optional<std::string_view> value(std::string_view name,
                                          std::optional<std::string_view> inline_) {
        if (inline_) return inline_;
        if (index_ + 1 >= args_.size()) {
            fail("option " + std::string(name) + " needs a value");
            return std::nullopt;
        }
        return args_[++index_];
    }

    void option(std::string_view arg) {
        std::string_view name = arg;
        std::optional<std::string_view> inline_;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            inline_ = arg.substr(eq + 1);
        }
        auto& o = result_.options;
        const auto noValue = [&] {
            if (inline_) fail("option " + std::string(name) + " takes no value");
        };
        if (name == "-h" || name == "--help") {
            noValue();
            result_.helpRequested = true;
        } else if (name == "--version") {
            noValue();
            result_.versionRequested = true;
        } else if (name == "-q" || name == "--quiet") {
            noValue();
            o.quiet = true;
        } else if (name == "--force") {
            noValue();
            force_ = true;
        } else if (name == "--verify" || name == "--no-verify") {
            noValue();
            const bool on = name == "--verify";
            if (verify_ && *verify_ != on) fail("--verify and --no-verify exclude each other");
            verify_ = on;
        } else if (name == "--backup-first") {
            if (auto v = value(name, inline_)) {
                if (v->empty()) fail("--backup-first needs a folder");
                backupFirstDir_ = std::string(*v);
            }
        } else if (name == "-p" || name == "--port") {
            if (auto v = value(name, inline_)) ports(*v);
        } else if (name == "-j" || name == "--jobs") {
            if (auto v = value(name, inline_)) {
                const auto jobs = parseUnsigned<unsigned>(*v);
                if (!jobs || *jobs == 0) {
                    fail("--jobs: \"" + std::string(*v) + "\" is not a whole number above 0");
                } else {
                    o.jobs = *jobs;
                }
            }
        } else if (name == "--json") {
            noValue();
            o.json = true;
        } else if (name == "-s" || name == "--speed") {
            if (auto v = value(name, inline_)) {
                const auto speed = parseUnsigned<std::uint32_t>(*v);
                if (!speed || *speed == 0) {
                    fail("--speed: \"" + std::string(*v) +
                         "\" is not a positive whole number of bits per second");
                } else {
                    o.speed = *speed;
                }
            }
        } else if (name == "--log") {
            if (auto v = value(name, inline_)) {
                if (v->empty()) fail("--log needs a file name");
                o.logFile = std::string(*v);
            }
        } else if (name == "--trace") {
            if (auto v = value(name, inline_)) {
                if (v->empty()) fail("--trace needs a file name");
                o.traceFile = std::string(*v);
            }
        } else if (name == "--trace-bytes") {
            if (auto v = value(name, inline_)) {
                if (*v != "all" && *v != "bounded") {
                    fail("--trace-bytes: \"" + std::string(*v) + "\" is not all or bounded");
                }
                o.traceAllBytes = *v == "all";
                traceBytesGiven_ = true;
            }
        } else if (name == "-t" || name == "--timeout") {
            if (auto v = value(name, inline_)) {
                const auto timeout = parseSeconds(*v);
                if (!timeout) {
                    fail("--timeout: \"" + std::string(*v) +
                         "\" is not a number of seconds above 0");
                } else {
                    o.timeout = *timeout;
                }
            }
        } else if (name == "-d" || name == "--dir") {
            if (auto v = value(name, inline_)) {
                if (v->empty()) fail("--dir needs a folder");
                backupDir_ = std::string(*v);
                dirGiven_ = true;
            }
        } else {
            fail("unknown option " + std::string(name));
        }
    }

    // One --port value: a comma list of COM names and paths, or "all".
    void ports(std::string_view text) {
        if (text.empty()) {
            fail("--port needs COMn or a device path");
            return;
        }
        for (std::size_t start = 0;;) {
            const std::size_t comma = text.find(',', start);
            port(text.substr(start, comma == std::string_view::npos ? comma : comma - start));
            if (comma == std::string_view::npos) break;
            start = comma + 1;
        }
    }

    void port(std::string_view text) {
        auto& o = result_.options;
        PortChoice choice;
        if (text.empty()) {
            fail("--port: an empty name in the list");
            return;
        }
        if (equalsIgnoringCase(text, kAllPorts)) {
            o.allPorts = true;
            return;
        }
        if (const auto number = comPortNumber(text)) {
            choice.comNumber = *number;
        } else if (text.size() > 3 && equalsIgnoringCase(text.substr(0, 3), "COM") &&
                   std::all_of(text.begin() + 3, text.end(), [](char c) {
                       return std::isdigit(static_cast<unsigned char>(c));
                   })) {
            fail("--port: " + std::string(text) + " is not COM1 to COM16");
            return;
        } else {
            choice.path = std::string(text);
        }
        const bool named = std::any_of(o.ports.begin(), o.ports.end(), [&](const PortChoice& c) {
            return c.comNumber == choice.comNumber && c.path == choice.path;
        });
        if (named) {
            fail("--port: " + std::string(text) + " is named twice");
            return;
        }
        o.ports.push_back(std::move(choice));
    }

    void commandAndOperands(const std::vector<std::string_view>& operands) {
        if (operands.empty()) {
            fail("no command given");
            return;
        }
        const std::string_view name = operands.front();
        const auto spec = std::find_if(std::begin(kCommands), std::end(kCommands),
                                       [&](const CommandSpec& s) { return s.name == name; });
        if (spec == std::end(kCommands)) {
            fail("unknown command \"" + std::string(name) + "\"");
            return;
        }
        Job& job = result_.job = spec->job;
        const Command command = commandOf(job);
        const std::span<const std::string_view> rest(operands.begin() + 1, operands.end());
        const auto want = [&](std::size_t count, std::string_view what) {
            if (rest.size() == count) return true;
            fail(std::string(name) +
                 (rest.size() < count ? ": missing " : ": too many arguments; expected ") +
                 std::string(what));
            return false;
        };
        const auto fileOperand = [&](std::string_view text) {
            if (text.empty()) fail(std::string(name) + ": the file name is empty");
            return std::string(text);
        };
        switch (command) {
            case Command::ports:
            case Command::detect:
            case Command::terminal:
                want(0, "no argument");
                break;
            case Command::update:
                if (want(1, "PACKAGE.pkg")) {
                    job = UpdateJob{fileOperand(rest[0]), force_, verify_, backupFirstDir_};
                }
                break;
            case Command::backup:
                if (want(1, "setting or playlist") && isDeviceFileOperand(rest[0])) {
                    job = BackupJob{std::string(rest[0]), backupDir_};
                }
                break;
            case Command::restore:
                if (want(2, "setting|playlist FILE.bak") && isDeviceFileOperand(rest[0])) {
                    job = RestoreJob{std::string(rest[0]), fileOperand(rest[1]), force_, verify_};
                }
                break;
            case Command::send:
                if (want(1, "LINE")) {
                    if (rest[0].empty()) fail("send: the line is empty");
                    // The device would take the part after a CR as a second command.
                    if (rest[0].find_first_of("\r\n") != std::string_view::npos) {
                        fail(
                            "send: the line holds a carriage return or line feed; "
                            "send one command at a time");
                    }
                    job = SendJob{std::string(rest[0])};
                }
                break;
            case Command::verify:
                if (rest.empty()) {
                    fail("verify: missing FILE.bak");
                } else {
                    job = VerifyJob{{rest.begin(), rest.end()}};
                    if (std::find(rest.begin(), rest.end(), "") != rest.end()) {
                        fail("verify: a file name is empty");
                    }
                }
                break;
            case Command::trace:
                if (rest.empty()) {
                    fail("trace: missing FILE");
                } else {
                    job = TraceJob{{rest.begin(), rest.end()}};
                    if (std::find(rest.begin(), rest.end(), "") != rest.end()) {
                        fail("trace: a file name is empty");
                    }
                }
                break;
            case Command::none:
                break;
        }
        if (dirGiven_ && command != Command::backup) fail("--dir belongs to backup only");
        const bool sendsFile = command == Command::update || command == Command::restore;
        if (force_ && !sendsFile) fail("--force belongs to update and restore only");
        if (verify_ && !sendsFile) {
            fail(std::string(*verify_ ? "--verify" : "--no-verify") +
                 " belongs to update and restore only");
        }
        if (!backupFirstDir_.empty() && command != Command::update) {
            fail("--backup-first belongs to update only");
        }
        const auto& o = result_.options;
        if (!o.traceFile.empty() && takesNoDevice(command)) {
            fail("--trace belongs to detect, update, backup, restore, send and terminal");
        }
        if (traceBytesGiven_ && o.traceFile.empty()) fail("--trace-bytes needs --trace");
        severalPorts(command);
    }

    void severalPorts(Command command) {
        auto& o = result_.options;
        if (!o.ports.empty()) o.port = o.ports.front();
        if (o.allPorts && !o.ports.empty()) {
            fail("--port all names every present port; name no other port with it");
        }
        if (!takesNoDevice(command) && command != Command::terminal) return;
        if (command == Command::terminal && (o.allPorts || o.ports.size() > 1)) {
            fail("terminal runs on one port only");
        }
        if (o.json && command != Command::trace) {
            fail("--json belongs to detect, update, backup, restore, send and trace");
        }
        if (o.jobs != 0) fail("--jobs belongs to detect, update, backup, restore and send");
    }

    static bool takesNoDevice(Command command) {
        return command == Command::ports || command == Command::verify || command == Command::trace;
    }

    bool isDeviceFileOperand(std::string_view text) {
        if (text == "setting" || text == "playlist") return true;
        fail("\"" + std::string(text) + "\" is not a device file; use setting or playlist");
        return false;
    }

    // What a command's job takes, given before the command is known.
    bool force_ = false;
    std::optional<bool> verify_;
    std::string backupFirstDir_;
    std::string backupDir_{kDefaultBackupFolder};
    bool dirGiven_ = false;
    bool traceBytesGiven_ = false;
    std::span<const std::string_view> args_;
    std::size_t index_ = 0;
    ParseResult result_;
};

}  // namespace

ParseResult parseArguments(std::span<const std::string_view> args) {
    return Parser(args).run();
}

bool onSeveralPorts(const GlobalOptions& options, const Job& job) {
    return !std::holds_alternative<PortsJob>(job) && !std::holds_alternative<VerifyJob>(job) &&
           !std::holds_alternative<TraceJob>(job) &&
           (options.allPorts || options.ports.size() > 1 || options.json);
}

Command commandOf(const Job& job) {
    return std::visit([](const auto& j) { return j.command; }, job);
}

const std::string* backupFolder(const Job& job) {
    if (const auto* backup = std::get_if<BackupJob>(&job)) return &backup->folder;
    const auto* update = std::get_if<UpdateJob>(&job);
    return update && !update->backupFirstDir.empty() ? &update->backupFirstDir : nullptr;
}

std::string* backupFolder(Job& job) {
    return const_cast<std::string*>(backupFolder(std::as_const(job)));
}

std::optional<FileToSend> fileToSend(const Job& job) {
    if (const auto* update = std::get_if<UpdateJob>(&job)) {
        return FileToSend{update->package, std::string(UpdateJob::kDeviceFile), update->force,
                          update->readsBack()};
    }
    if (const auto* restore = std::get_if<RestoreJob>(&job)) {
        return FileToSend{restore->backup, restore->deviceFile, restore->force,
                          restore->readsBack()};
    }
    return std::nullopt;
}

std::string_view commandName(Command command) {
    for (const auto& spec : kCommands) {
        if (commandOf(spec.job) == command) return spec.name;
    }
    return "";
}

std::string usageText() {
    std::string text =
        "Usage: tidewell-cli [OPTION]... COMMAND [ARGUMENT]...\n"
        "Update, back up and restore a Tidewell player over its serial line.\n"
        "\n"
        "Device lines on a terminal, on standard error and in the --log file show\n"
        "control characters visibly (\\e, ^G); standard output redirected to a file or\n"
        "a pipe gets the device's bytes exactly.\n"
        "\n"
        "With several ports (--port COM1,COM2, --port all) detect, update, backup,\n"
        "restore and send run on all of them at once, each port on its own: one that\n"
        "fails does not stop the others. Lines start with the port's name, backups go\n"
        "to one folder per port under --dir (or --backup-first), and a summary table\n"
        "ends the run.\n"
        "\n"
        "Commands:\n"
        "  ports                           list COM1 to COM16 and the devices behind them\n"
        "  detect                          wake the device until \":LOGIN:\", then log in\n"
        "  update PACKAGE.pkg              detect, log in, send the package to \"flashimage\"\n"
        "  backup setting|playlist         detect, log in, fetch the device file into a new\n"
        "                                  numbered backup (setting.bak, setting_1.bak, ...);\n"
        "                                  prints the path written; its record goes\n"
        "                                  beside it (setting.bak.json)\n"
        "  restore setting|playlist FILE   detect, log in, send FILE back to the device file,\n"
        "                                  then read it back and compare (see --verify); a\n"
        "                                  FILE that does not match its record, or whose\n"
        "                                  record names the other device file, is refused\n"
        "  send LINE                       detect, log in, send one command line; prints the\n"
        "                                  reply lines up to the \":OK:\" or \":ERROR:\" line\n"
        "  terminal                        detect, log in, then send each line read from\n"
        "                                  standard input and print the device's lines;\n"
        "                                  ends at end of input or on Ctrl-C\n"
        "  verify FILE.bak...              check each backup against its record\n"
        "                                  (FILE.bak.json: size and SHA-256)\n"
        "  trace FILE...                   sum up protocol traces (--trace, or the\n"
        "                                  simulated device's): each command and its\n"
        "                                  reply; each transfer's packets, bytes,\n"
        "                                  retries, failed checks, longest silence,\n"
        "                                  throughput and first anomaly (--json: one\n"
        "                                  object per transfer)\n"
        "\n"
        "Options:\n"
        "  -p, --port COMn|PATH   the port: a COM number as the wizard numbers them, or a\n"
        "                         device path (default: the wizard's saved port); again,\n"
        "                         or a comma list (COM1,COM2), for several ports; \"all\"\n"
        "                         for every port that \"ports\" shows present\n"
        "  -j, --jobs N           several ports: how many run at once (default: all)\n"
        "      --json             on standard output one JSON object per port as it ends,\n"
        "                         then a summary object, instead of the summary table\n"
        "                         and the results (any number of ports); trace: one\n"
        "                         object per transfer\n"
        "  -s, --speed BAUD       line speed in bits per second (default 115200; any rate\n"
        "                         the line takes)\n"
        "  -t, --timeout SECONDS  how long detection waits for the device, and the longest\n"
        "                         any later wait lasts: the log-in's \":OK:\", a reply, a\n"
        "                         transfer without a packet (default 60; each of these\n"
        "                         later waits gets at least 2 s)\n"
        "  -d, --dir DIR          backup: folder of the new backup file (default: .); with\n"
        "                         several ports the port's folder in it (COM3, or the\n"
        "                         device's by-id name), made when missing\n"
        "      --force            update, restore: send an empty file too (refused\n"
        "                         otherwise); restore: a backup that does not match its\n"
        "                         record, or is one of the other device file, too\n"
        "      --verify           update, restore: read the device file back after\n"
        "                         sending and compare it with what was sent (only the\n"
        "                         padding of the last packet may differ); on by default\n"
        "                         for restore\n"
        "      --no-verify        restore: do not read the device file back\n"
        "      --backup-first DIR\n"
        "                         update: back up \"setting\" and \"playlist\" into DIR\n"
        "                         first (numbered, with records); the package is sent\n"
        "                         only when both backups succeed; with several ports\n"
        "                         the port's folder in it, as for --dir\n"
        "      --log FILE         show the device's lines and the transfer statistics on\n"
        "                         standard error and append them to FILE (they are shown\n"
        "                         on any failure anyway)\n"
        "      --trace FILE       write the protocol trace to FILE: every chunk of bytes\n"
        "                         written and read, in hex, and the protocol's events, each\n"
        "                         with its time; with several ports one file per port\n"
        "                         beside FILE, named after the port (trace-COM3.txt)\n"
        "      --trace-bytes MODE\n"
        "                         all: every byte of a long chunk in the trace; bounded\n"
        "                         (the default): its first and last 16 bytes\n"
        "  -q, --quiet            no progress and no status messages, only results and errors\n"
        "  -h, --help             show this help\n"
        "      --version          show the version\n"
        "\n"
        "Exit status:\n";
    for (const auto& info : exitStatusTable()) {
        char number[8];
        std::snprintf(number, sizeof number, "%5d", exitCode(info.status));
        text += "  " + std::string(number) + "  " + std::string(info.meaning) + "\n";
    }
    return text;
}

}  // namespace tidewell::cli
