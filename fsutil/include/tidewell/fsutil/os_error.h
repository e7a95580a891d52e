// An operating-system error on a path, and its one wording.
#pragma once

#include <filesystem>
#include <string>

namespace tidewell::fsutil {

// "Permission denied (errno 13)".
std::string reasonText(int error);

// A failed operation: "WHAT PATH: REASON (errno N)", or "PATH: REASON (errno N)"
// when there is no what.
struct OsError {
    std::string what;
    std::filesystem::path path;
    int error = 0;

    std::string text() const;
};

}  // namespace tidewell::fsutil
