// Temporary folders, files and child processes for the page tests.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::pages::testing {

using Millis = std::chrono::milliseconds;

// A fresh folder under $TMPDIR (or /tmp), removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, std::string_view bytes);
std::string randomBytes(std::size_t count, std::uint32_t seed);
// Names in a folder, sorted (hidden ones included).
std::vector<std::string> filesIn(const std::filesystem::path& folder);
// Polls until the file holds text or the limit passes.
bool waitForText(const std::filesystem::path& file, std::string_view text, Millis limit);

// A program started with its output in files; killed and reaped on destruction.
class Child {
  public:
    // args[0] is the program's path; env entries "NAME=value" are added.
    Child(const std::vector<std::string>& args, const std::vector<std::string>& env,
          const std::filesystem::path& stdoutFile, const std::filesystem::path& stderrFile);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    void signal(int number) const;
    // The exit status (128 + signal when killed) once it ends within limit.
    std::optional<int> wait(Millis limit);
    bool running();

  private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// tidewell-devsim on <folder>/tty with its files in <folder>/store and its event log
// in <folder>/devsim.log; ready (link in place) once constructed.
class Devsim {
  public:
    Devsim(const std::filesystem::path& folder, const std::vector<std::string>& options);
    ~Devsim();
    const std::filesystem::path& link() const { return link_; }
    const std::filesystem::path& store() const { return store_; }
    std::filesystem::path storeFile(std::string_view name) const { return store_ / name; }
    const std::filesystem::path& logFile() const { return log_; }

  private:
    std::filesystem::path link_;
    std::filesystem::path store_;
    std::filesystem::path log_;
    std::optional<Child> child_;
};

// Path of this build's tidewell-devsim.
std::string devsimProgram();

}  // namespace tidewell::pages::testing
