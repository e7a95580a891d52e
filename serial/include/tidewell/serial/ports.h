// COM numbers on Linux: which device stands behind COM1 ... COM16.
//
// COMn resolves to the value of the key "COMn" in the settings' [Ports] section: any case,
// n without leading zeros; a key spelt otherwise ("COM03") names no number. Serial
// devices present on the machine that have no number yet get one: the lowest free number,
// written to [Ports] at once with the device's stable name (its /dev/serial/by-id link where
// there is one, else its /dev node), so the number sticks across runs and re-plugs.
// Devices are the /sys/class/tty entries with a device link (USB adapters included); 8250
// ports whose "type" is 0 have no hardware and are left out.
//
// Thread safety: a resolver may be used from one thread at a time; several resolvers (in
// several processes) may share one settings file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tidewell/ini/settings_store.h"
#include "tidewell/serial/tserie.h"

namespace tidewell {

// The section of the settings file that holds the COM numbers.
inline constexpr std::string_view kPortsSection = "Ports";
inline constexpr std::uint8_t kFirstComPort = 1;
inline constexpr std::uint8_t kLastComPort = 16;

// Where devices are looked for; tests point these at a tree of their own.
struct DeviceRoots {
    std::filesystem::path sysClassTty = "/sys/class/tty";
    std::filesystem::path dev = "/dev";
};

// A serial device present now.
struct SerialDevice {
    std::string node;        // e.g. /dev/ttyUSB0
    std::string stableName;  // /dev/serial/by-id/... when there is one, else node
};

// One COM number as the port page shows it.
struct ComPortEntry {
    std::uint8_t number = 0;  // 1 stands for COM1
    std::string devicePath;   // what COMn opens; empty when nothing is assigned
    bool present = false;     // devicePath exists now
    // What the system calls the device, where it says (Windows: its friendly name).
    std::string description{};
};

class ComPortResolver {
  public:
    explicit ComPortResolver(SettingsStore store = SettingsStore(), DeviceRoots roots = {});

    // The serial devices present, in name order (ttyACM0, ttyS0, ttyS1, ttyUSB0 ...).
    std::vector<SerialDevice> presentDevices() const;
    // Numbers the devices that have none (writing [Ports]), then lists COM1 ... COM16.
    std::vector<ComPortEntry> entries();
    // The device path of COMn, or empty when COMn stands for nothing.
    std::string resolve(std::uint8_t portNumber);
    // The number [Ports] gives devicePath (or another name of its device), if any.
    std::optional<std::uint8_t> numberOf(const std::string& devicePath) const;
    // Gives each present device without a number the lowest free one; false when the
    // settings file could not be written (the store's lastError() says why).
    bool assignNumbers();

    const SettingsStore& store() const noexcept { return store_; }

  private:
    SettingsStore store_;
    DeviceRoots roots_;
};

// Whether a and b, links followed, are one device: a character or block device by its
// device number (two nodes or links of one tty), anything else by its file system and
// inode. False when either cannot be looked at.
bool sameDeviceFile(const std::filesystem::path& a, const std::filesystem::path& b);

// The /dev/serial/by-id link to devicePath's device (the first in name order), or empty.
std::filesystem::path byIdLink(const std::filesystem::path& devicePath,
                               const DeviceRoots& roots = {});

// The key of COMn in [Ports]: "COM3".
std::string comKey(unsigned number);

// "COM3" (any case) -> 3, for 1..16 written without leading zeros; nothing for anything
// else ("COM03" names no number anywhere).
std::optional<std::uint8_t> comPortNumber(std::string_view name);

// termios backend with COM numbers from `resolver`.
SerialPlatform serialPlatform(ComPortResolver resolver);

}  // namespace tidewell
