// Fuzz target: the settings file. The input is the whole file; then every accessor reads it,
// the COM-number table is built from it (with one serial device present), and every setter
// writes a value taken from the input's last line.
//
// Invariants: no value read holds a line break; "CommPort" gives 1..255 and folders are never
// empty; a section lists each key once, with the value find() gives; the COM table and
// resolve() agree, a present device gets a number while one is free, and the resolver never
// changes a number that was assigned; a setter changes its own key alone, and reads back what it
// wrote; a value that cannot be stored leaves the file as it was.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "tidewell/serial/ports.h"
#include "tidewell/settings/settings.h"
#include "tidewell/testsupport/files.h"
#include "tidewell/testsupport/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tidewell::ComPortResolver;
using tidewell::DeviceRoots;
using tidewell::SettingsEntries;
using tidewell::SettingsStore;
using tidewell::TidewellSettings;
using tidewell::testsupport::readFile;
using tidewell::testsupport::TempDir;
using tidewell::testsupport::writeFile;

constexpr std::size_t kMaxValue = 256;

// One folder for the whole run: the settings file and a device tree with one USB adapter.
struct Workspace {
    TempDir dir{"tidewell-fuzz-settings"};
    fs::path file = dir / "tidewell.ini";
    DeviceRoots roots{dir / "sys", dir / "dev"};
    std::string device = (dir / "dev" / "ttyUSB0").string();

    Workspace() {
        fs::create_directories(roots.sysClassTty / "ttyUSB0" / "device");
        writeFile(device, "");
    }
};

Workspace& workspace() {
    static Workspace instance;
    return instance;
}

bool hasLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

void checkSection(const SettingsStore& store, std::string_view section) {
    const SettingsEntries entries = store.getSection(section);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& [key, value] = entries[i];
        TIDEWELL_FUZZ_CHECK(!hasLineBreak(key) && !hasLineBreak(value),
                            "a line break in [" + std::string(section) + "] " + key);
        TIDEWELL_FUZZ_CHECK(store.find(section, key) == value,
                            "getSection and find disagree on " + key);
        for (std::size_t j = 0; j < i; ++j) {
            TIDEWELL_FUZZ_CHECK(!sameName(entries[j].first, key), "key listed twice: " + key);
        }
    }
}

void checkReads(const TidewellSettings& settings) {
    const SettingsStore& store = settings.store();
    const std::uint8_t port = settings.getCommPort();
    const std::uint32_t stored = store.getInt(tidewell::kProfileSection, tidewell::kCommPortKey, 0);
    TIDEWELL_FUZZ_CHECK(port != 0 && port == ((stored & 0xFF) == 0 ? 1 : (stored & 0xFF)),
                        "CommPort " + std::to_string(port) + " from " + std::to_string(stored));
    for (const std::string& folder :
         {settings.getSettingPath(), settings.getPlaylistPath(), settings.getFirmwarePath()}) {
        TIDEWELL_FUZZ_CHECK(!folder.empty() && !hasLineBreak(folder), "folder \"" + folder + "\"");
    }
    for (const std::string& name : {settings.getSettingFile(), settings.getPlaylistFile()}) {
        TIDEWELL_FUZZ_CHECK(!hasLineBreak(name), "file name \"" + name + "\"");
    }
    checkSection(store, tidewell::kProfileSection);
    checkSection(store, tidewell::kPortsSection);
}

void checkComTable(SettingsStore& store) {
    Workspace& ws = workspace();
    const SettingsEntries portsBefore = store.getSection(tidewell::kPortsSection);
    const SettingsEntries profileBefore = store.getSection(tidewell::kProfileSection);
    ComPortResolver resolver(store, ws.roots);
    const auto entries = resolver.entries();
    TIDEWELL_FUZZ_CHECK(entries.size() == tidewell::kLastComPort, "COM table size");
    bool deviceListed = false;
    bool allTaken = true;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto& entry = entries[i];
        TIDEWELL_FUZZ_CHECK(entry.number == i + 1, "COM table order");
        TIDEWELL_FUZZ_CHECK(!hasLineBreak(entry.devicePath), "a line break in a device path");
        TIDEWELL_FUZZ_CHECK(resolver.resolve(entry.number) == entry.devicePath,
                            "COM" + std::to_string(entry.number) + " is \"" + entry.devicePath +
                                "\" in the table but resolves to \"" +
                                resolver.resolve(entry.number) + "\"");
        deviceListed = deviceListed || entry.devicePath == ws.device;
        allTaken = allTaken && !entry.devicePath.empty();
    }
    TIDEWELL_FUZZ_CHECK(deviceListed || allTaken, "a present device got no free COM number");
    for (const auto& [key, value] : portsBefore) {
        // An empty value assigns nothing: the resolver may fill it.
        TIDEWELL_FUZZ_CHECK(value.empty() || store.find(tidewell::kPortsSection, key) == value,
                            "the resolver changed [Ports] " + key);
    }
    TIDEWELL_FUZZ_CHECK(store.getSection(tidewell::kProfileSection) == profileBefore,
                        "the resolver changed [Tidewell]");
}

// The key's value is now `value`; every other key of both sections reads as before.
void checkOnlyKeyChanged(const SettingsStore& store, std::string_view key, const std::string& value,
                         const SettingsEntries& profileBefore, const SettingsEntries& portsBefore) {
    TIDEWELL_FUZZ_CHECK(store.find(tidewell::kProfileSection, key) == value,
                        std::string(key) + " does not read back as written");
    for (const auto& [other, before] : profileBefore) {
        if (sameName(other, key)) continue;
        TIDEWELL_FUZZ_CHECK(store.find(tidewell::kProfileSection, other) == before,
                            "setting " + std::string(key) + " changed " + other);
    }
    TIDEWELL_FUZZ_CHECK(store.getSection(tidewell::kPortsSection) == portsBefore,
                        "setting " + std::string(key) + " changed [Ports]");
}

void checkWrites(TidewellSettings& settings, const std::string& value) {
    Workspace& ws = workspace();
    SettingsStore& store = settings.store();
    using Setter = void (TidewellSettings::*)(const std::string&);
    using Getter = std::string (TidewellSettings::*)() const;
    struct Accessor {
        std::string_view key;
        Setter set;
        Getter get;
        bool folder;
    };
    const Accessor accessors[] = {
        {tidewell::kSettingPathKey, &TidewellSettings::setSettingPath,
         &TidewellSettings::getSettingPath, true},
        {tidewell::kSettingFileKey, &TidewellSettings::setSettingFile,
         &TidewellSettings::getSettingFile, false},
        {tidewell::kPlaylistPathKey, &TidewellSettings::setPlaylistPath,
         &TidewellSettings::getPlaylistPath, true},
        {tidewell::kPlaylistFileKey, &TidewellSettings::setPlaylistFile,
         &TidewellSettings::getPlaylistFile, false},
        {tidewell::kFirmwarePathKey, &TidewellSettings::setFirmwarePath,
         &TidewellSettings::getFirmwarePath, true},
    };
    for (const auto& accessor : accessors) {
        const SettingsEntries profileBefore = store.getSection(tidewell::kProfileSection);
        const SettingsEntries portsBefore = store.getSection(tidewell::kPortsSection);
        const std::string textBefore = readFile(ws.file);
        if (hasLineBreak(value)) {
            TIDEWELL_FUZZ_CHECK(!store.setString(tidewell::kProfileSection, accessor.key, value),
                                "a value with a line break was accepted");
            TIDEWELL_FUZZ_CHECK(readFile(ws.file) == textBefore,
                                "a refused write changed the file");
            continue;
        }
        (settings.*accessor.set)(value);
        const std::string expected = accessor.folder && value.empty() ? "." : value;
        TIDEWELL_FUZZ_CHECK((settings.*accessor.get)() == expected,
                            std::string(accessor.key) + " reads \"" + (settings.*accessor.get)() +
                                "\" after writing \"" + value + "\"");
        checkOnlyKeyChanged(store, accessor.key, value, profileBefore, portsBefore);
    }
    const auto port = static_cast<std::uint8_t>(value.empty() ? 0 : value.front());
    const SettingsEntries profileBefore = store.getSection(tidewell::kProfileSection);
    const SettingsEntries portsBefore = store.getSection(tidewell::kPortsSection);
    settings.setCommPort(port);
    TIDEWELL_FUZZ_CHECK(settings.getCommPort() == (port == 0 ? 1 : port), "CommPort round trip");
    checkOnlyKeyChanged(store, tidewell::kCommPortKey, std::to_string(port), profileBefore,
                        portsBefore);
    checkReads(settings);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Workspace& ws = workspace();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    writeFile(ws.file, text);
    const auto lastLine = text.rfind('\n');
    const std::string value(
        text.substr(lastLine == std::string_view::npos ? 0 : lastLine + 1, kMaxValue));

    TidewellSettings settings{SettingsStore(ws.file)};
    checkReads(settings);
    checkComTable(settings.store());
    checkWrites(settings, value);
    return 0;
}
