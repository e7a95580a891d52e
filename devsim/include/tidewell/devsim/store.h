// The device's file store: one folder, flat, names confined to it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tidewell::devsim {

class Store {
  public:
    // root must exist; it is made absolute so later changes of the working
    // folder do not move the store.
    explicit Store(const std::filesystem::path& root);

    const std::filesystem::path& root() const { return root_; }

    // A valid name is one plain file name: not empty, at most kMaxNameLength
    // bytes, no '/', no NUL or other control byte, not starting with '.'
    // (which also keeps "." and ".." and the store's temporary files out).
    static constexpr std::size_t kMaxNameLength = 200;
    static bool validName(std::string_view name);

    struct Entry {
        std::string name;
        std::uintmax_t size = 0;
    };
    // Regular files with valid names, sorted by name.
    std::vector<Entry> list() const;

    // Reads a stored regular file; symbolic links are refused. On failure
    // returns nothing and sets error to "<path>: <reason>".
    std::optional<std::vector<std::uint8_t>> load(std::string_view name, std::string& error) const;

    // Replaces the file atomically (temporary file in the store, then rename).
    bool save(std::string_view name, std::span<const std::uint8_t> data, std::string& error) const;

    // Moves a finished file (on the store's file system) in under name.
    bool adopt(std::string_view name, const std::filesystem::path& file, std::string& error) const;

    // A fresh private folder inside the store for a helper program's output.
    std::optional<std::filesystem::path> makeScratchFolder(std::string& error) const;

  private:
    std::filesystem::path root_;
};

}  // namespace tidewell::devsim
