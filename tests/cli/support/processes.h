// Running tidewell-cli and tidewell-devsim as programs: temporary folders,
// child processes with redirected streams, and a devsim on a pseudo-terminal.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::cli::testing {

using Millis = std::chrono::milliseconds;

// A fresh folder under the test temp folder, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);
std::string randomBytes(std::size_t count, std::uint32_t seed);
// Waits until the file holds text.
bool waitForText(const std::filesystem::path& file, std::string_view text, Millis limit);

struct SpawnOptions {
    std::vector<std::string> args;     // args[0]: the program's path
    std::vector<std::string> env;      // "NAME=value", added to (or replacing in) this environment
    std::filesystem::path stdinFile;   // empty: /dev/null
    std::filesystem::path stdoutFile;  // empty: /dev/null
    std::filesystem::path stderrFile;  // empty: /dev/null
    int stdoutFd = -1;                 // used instead of stdoutFile when >= 0
    std::optional<rlim_t> fileSizeLimit;  // RLIMIT_FSIZE, with SIGXFSZ ignored
};

class Child {
  public:
    explicit Child(const SpawnOptions& options);
    ~Child();  // kills and reaps a child still running
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int number) const;
    // The exit code (128 + signal when killed) once it ends within limit.
    std::optional<int> wait(Millis limit);

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// tidewell-devsim with --link, --store and --log in folder, plus extra options;
// ready (its slave's path printed) when constructed.
class Devsim {
  public:
    Devsim(const std::filesystem::path& folder, const std::vector<std::string>& extra);
    ~Devsim();
    const std::filesystem::path& link() const { return link_; }
    const std::filesystem::path& store() const { return store_; }
    std::string log() const { return readFile(log_); }

  private:
    std::filesystem::path link_;
    std::filesystem::path store_;
    std::filesystem::path log_;
    std::optional<Child> child_;
};

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

struct CliExtras {
    std::string input;                    // standard input
    std::optional<rlim_t> fileSizeLimit;  // see SpawnOptions
    Millis limit{60000};
};

// Runs tidewell-cli in folder (settings under folder/config) to its end.
CliRun runCli(const std::filesystem::path& folder, const std::vector<std::string>& args,
              const CliExtras& extras = {});
// The same, started and left running; its streams go to folder/cli.out and cli.err.
std::unique_ptr<Child> startCli(const std::filesystem::path& folder,
                                const std::vector<std::string>& args);

}  // namespace tidewell::cli::testing
