// A fresh folder under the system's temporary folder ($TMPDIR or /tmp), removed
// with its contents.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tidewell::testsupport {

class TempDir {
  public:
    // The folder's name starts with prefix.
    explicit TempDir(std::string_view prefix = "tidewell-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(std::string_view name) const { return path_ / name; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace tidewell::testsupport
