#include "tidewell/frame/connection_trace.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <regex>
#include <utility>
#include <vector>

#include "tidewell/fsutil/folder.h"
#include "tidewell/fsutil/os_error.h"
#include "tidewell/fsutil/regular_file.h"
#include "tidewell/fsutil/temporary_file.h"

namespace tidewell {
namespace {

namespace fs = std::filesystem;

constexpr mode_t kFolderMode = 0700;
constexpr mode_t kTraceMode = 0600;
constexpr mode_t kSavedMode = 0644;
constexpr int kMostInOneSecond = 99;

std::string localTime(std::time_t time, const char* format) {
    std::tm local{};
    ::localtime_r(&time, &local);
    char text[64];
    return std::string(text, std::strftime(text, sizeof text, format, &local));
}

std::string traceFileName(std::time_t started, std::string_view portLabel, int sequence) {
    std::string name = localTime(started, "%Y-%m-%d_%H%M%S") + "-" + std::string(portLabel);
    if (sequence > 1) name += "-" + std::to_string(sequence);
    return name + ".trace";
}

// When name is one of ours: its time stamp and number, the order of creation.
std::optional<std::pair<std::string, int>> traceOrder(const std::string& name) {
    static const std::regex pattern(
        R"((\d{4}-\d{2}-\d{2}_\d{6})-COM\d{1,3}(?:-(\d{1,2}))?\.trace)");
    std::smatch match;
    if (!std::regex_match(name, match, pattern)) return std::nullopt;
    return std::make_pair(match[1].str(), match[2].matched ? std::stoi(match[2].str()) : 1);
}

}  // namespace

ConnectionTrace::ConnectionTrace(fs::path path)
    : path_(std::move(path)),
      out_(path_, std::ios::out | std::ios::trunc | std::ios::binary),
      writer_(out_, false, {}, kTraceFileBytes) {}

ConnectionTrace::~ConnectionTrace() = default;

std::unique_ptr<ConnectionTrace> ConnectionTrace::create(const fs::path& folder,
                                                         const tracefmt::Heading& heading,
                                                         std::string* why) {
    if (const int error = fsutil::makeFolders(folder, kFolderMode); error != 0) {
        *why = fsutil::OsError{"create the folder", folder, error}.text();
        return nullptr;
    }
    pruneTraces(folder, kTracesKept - 1);
    fs::path path;
    int error = EEXIST;
    for (int sequence = 1; sequence <= kMostInOneSecond && error == EEXIST; ++sequence) {
        path = folder / traceFileName(heading.started, heading.portLabel, sequence);
        // Exclusive: a file of the same name, whoever made it, is never written over.
        error = fsutil::createNewFile(path, kTraceMode);
    }
    if (error != 0) {
        *why = fsutil::OsError{"create", path, error}.text();
        return nullptr;
    }
    std::unique_ptr<ConnectionTrace> trace(new ConnectionTrace(path));
    if (!trace->out_) {
        *why = fsutil::OsError{"open", path, errno != 0 ? errno : EIO}.text();
        std::error_code ignored;
        fs::remove(path, ignored);
        return nullptr;
    }
    trace->writer_.heading(heading);
    trace->flush();
    return trace;
}

void pruneTraces(const fs::path& folder, std::size_t keep) {
    std::vector<std::pair<std::pair<std::string, int>, fs::path>> traces;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code type;
        if (it->symlink_status(type).type() != fs::file_type::regular) continue;
        if (auto order = traceOrder(it->path().filename().string())) {
            traces.emplace_back(std::move(*order), it->path());
        }
    }
    if (traces.size() <= keep) return;
    std::sort(traces.begin(), traces.end());
    for (std::size_t i = 0; i < traces.size() - keep; ++i) {
        std::error_code ignored;
        fs::remove(traces[i].second, ignored);
    }
}

std::string traceSaveName(std::time_t started, std::string_view portLabel) {
    return "tidewell-trace-" + localTime(started, "%Y-%m-%d") + "-" + std::string(portLabel) +
           ".txt";
}

bool saveTraceCopy(const fs::path& trace, const fs::path& target, std::string* why) {
    const fsutil::RegularFile file = fsutil::openRegularFile(trace);
    std::string text;
    const int error =
        !file.ok() ? (file.error != 0 ? file.error : EINVAL) : fsutil::readRest(file, text);
    if (error != 0) {
        *why = fsutil::OsError{"read", trace, error}.text();
        return false;
    }
    if (const auto failure = fsutil::writeFileAtomically(target, text, kSavedMode)) {
        *why = fsutil::OsError{"save the trace to", target, failure->error}.text();
        return false;
    }
    return true;
}

}  // namespace tidewell
