// The protocol trace of each connection, kept in a folder of its own: one file per
// connection, named by the local time it started and its port
// ("2026-12-09_223401-COM3.trace", "-2" and on before ".trace" when that second's name
// is taken), so that names sort by time. A file stops at kTraceFileBytes with a "limit"
// record, and before a new one is made the oldest go, so that kTracesKept remain with
// it: the folder never holds more than a few MB. Only names of that form are removed.
//
// Window thread only; the worker reaches the writer through sink().
#pragma once

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "tidewell/engine/trace.h"
#include "tidewell/tracefmt/trace_format.h"

namespace tidewell {

inline constexpr std::size_t kTracesKept = 5;
inline constexpr std::size_t kTraceFileBytes = 1024 * 1024;
// The traces' folder, beside the settings file.
inline constexpr std::string_view kTraceFolder = "traces";

class ConnectionTrace {
  public:
    // Makes folder (private, as the settings folder is), removes the oldest traces in
    // it, then creates the new file with heading. Null and *why (naming the file or
    // folder and the reason) when it cannot.
    static std::unique_ptr<ConnectionTrace> create(const std::filesystem::path& folder,
                                                   const tracefmt::Heading& heading,
                                                   std::string* why);
    ~ConnectionTrace();  // writes what is held back and closes the file
    ConnectionTrace(const ConnectionTrace&) = delete;
    ConnectionTrace& operator=(const ConnectionTrace&) = delete;

    // For CTidewellThread::setTraceSink; lives as long as this object.
    TraceSink& sink() { return writer_; }
    // Everything recorded so far is in the file afterwards.
    void flush() { writer_.flush(); }
    const std::filesystem::path& path() const { return path_; }

  private:
    explicit ConnectionTrace(std::filesystem::path path);

    std::filesystem::path path_;
    std::ofstream out_;
    TraceWriter writer_;
};

// Removes the oldest traces in folder until at most keep remain; other files stay.
void pruneTraces(const std::filesystem::path& folder, std::size_t keep);

// What Save Trace proposes: "tidewell-trace-2026-12-09-COM3.txt".
std::string traceSaveName(std::time_t started, std::string_view portLabel);

// Copies a trace to target, atomically. False and *why (naming the file and the
// reason) when it cannot.
bool saveTraceCopy(const std::filesystem::path& trace, const std::filesystem::path& target,
                   std::string* why);

}  // namespace tidewell
