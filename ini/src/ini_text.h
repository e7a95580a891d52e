// INI text: parsed line by line, edited key by key, everything else kept as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ini/settings_store.h"

namespace tidewell::detail {

class IniText {
  public:
    explicit IniText(std::string_view text);

    std::optional<std::string> find(std::string_view section, std::string_view key) const;
    SettingsEntries section(std::string_view section) const;
    void set(std::string_view section, std::string_view key, std::string_view value);
    bool remove(std::string_view section, std::string_view key);
    std::string text() const;

  private:
    // Index of the first header of `section` and the end of its lines, if present.
    struct Range {
        std::size_t header;
        std::size_t end;
    };
    std::optional<Range> findSection(std::string_view section) const;
    std::optional<std::size_t> findKey(const Range& range, std::string_view key) const;

    std::vector<std::string> lines_;
};

bool storableKey(std::string_view key);
bool storableValue(std::string_view value);
// Leading decimal digits, wrapping at 32 bits; 0 for a negative or non-numeric value.
std::uint32_t parseProfileInt(std::string_view value);

}  // namespace tidewell::detail
