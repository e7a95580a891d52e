// Windows numbers its serial ports itself: COMn is "\\.\COMn" unless [Ports] points the
// number elsewhere, and the ports present are the COM names the system's device
// namespace lists (QueryDosDevice), with the friendly names of the ports class's devices
// (SetupAPI) where they have one.
// clang-format off
#include "tidewell/serial/ports.h"
#include "tidewell/serial/listed_ports.h"
#include "tidewell/serial/win32_backend.h"
#include <windows.h>
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>
// clang-format on

#include <algorithm>
#include <cctype>
#include <memory>
#include <type_traits>
#include <vector>

namespace tidewell {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kLocalDevicePrefix = "\\\\.\\";

std::vector<std::string> dosDeviceNames() {
    std::vector<char> names(64 * 1024);
    const ::DWORD length =
        ::QueryDosDeviceA(nullptr, names.data(), static_cast<::DWORD>(names.size()));
    std::vector<std::string> list;
    for (std::size_t at = 0; at < length && names[at] != '\0';) {
        list.emplace_back(names.data() + at);
        at += list.back().size() + 1;
    }
    return list;
}

// A registry or device property text (REG_SZ, wide) in UTF-8, without its terminating nul.
std::string utf8(const std::vector<wchar_t>& text) {
    const auto end = std::find(text.begin(), text.end(), L'\0');
    const int units = static_cast<int>(end - text.begin());
    if (units == 0) return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), units, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

struct KeyCloser {
    void operator()(HKEY key) const { ::RegCloseKey(key); }
};
struct DeviceListCloser {
    void operator()(HDEVINFO set) const { ::SetupDiDestroyDeviceInfoList(set); }
};

std::string portNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return {};
    const std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser> owned(key);
    ::DWORD type = 0;
    ::DWORD size = 0;
    if (::RegQueryValueExW(key, L"PortName", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
    if (::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                           &size) != ERROR_SUCCESS) {
        return {};
    }
    return utf8(text);
}

std::string friendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    ::DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr, nullptr, 0,
                                        &size);
    if (size == 0) return {};
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1);
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                             reinterpret_cast<BYTE*>(text.data()), size, nullptr)) {
        return {};
    }
    return utf8(text);
}

// The ports class's devices present now.
std::vector<NamedPortDevice> portsClassDevices() {
    std::vector<NamedPortDevice> devices;
    const HDEVINFO set =
        ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return devices;
    const std::unique_ptr<void, DeviceListCloser> owned(set);
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (::DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        devices.push_back({portNameOf(set, device), friendlyNameOf(set, device)});
    }
    return devices;
}

std::vector<ListedComPort> listedComPorts() {
    return mergeListedPorts(dosDeviceNames(), portsClassDevices());
}

std::string upperWithoutPrefix(std::string path) {
    if (path.rfind(kLocalDevicePrefix, 0) == 0) path.erase(0, kLocalDevicePrefix.size());
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return path;
}

}  // namespace

std::vector<SerialDevice> ComPortResolver::presentDevices() const {
    std::vector<SerialDevice> devices;
    for (const ListedComPort& port : listedComPorts()) {
        devices.push_back({win32DevicePath(port.number), comKey(port.number)});
    }
    return devices;
}

std::vector<ComPortEntry> ComPortResolver::entries() {
    const std::vector<ListedComPort> listed = listedComPorts();
    std::vector<ComPortEntry> list;
    for (unsigned n = kFirstComPort; n <= kLastComPort; ++n) {
        ComPortEntry entry;
        entry.number = static_cast<std::uint8_t>(n);
        const auto mapped = store_.find(kPortsSection, comKey(n));
        std::error_code ec;
        if (mapped && !mapped->empty()) {
            entry.devicePath = *mapped;
            entry.present = fs::exists(*mapped, ec);
        } else {
            entry.devicePath = win32DevicePath(entry.number);
            const auto port = std::find_if(listed.begin(), listed.end(),
                                           [n](const ListedComPort& p) { return p.number == n; });
            entry.present = port != listed.end();
            if (entry.present) entry.description = port->friendlyName;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

std::string ComPortResolver::resolve(std::uint8_t portNumber) {
    if (auto path = store_.find(kPortsSection, comKey(portNumber)); path && !path->empty()) {
        return *path;
    }
    return win32DevicePath(portNumber);
}

bool ComPortResolver::assignNumbers() {
    return true;
}

fs::path byIdLink(const fs::path& /*devicePath*/, const DeviceRoots& /*roots*/) {
    return {};
}

bool sameDeviceFile(const fs::path& a, const fs::path& b) {
    if (upperWithoutPrefix(a.string()) == upperWithoutPrefix(b.string())) return true;
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

SerialPlatform serialPlatform(ComPortResolver resolver) {
    return SerialPlatform{[] { return makeWin32Backend(makeSystemWin32Comm()); },
                          [resolver = std::move(resolver)](std::uint8_t portNumber) mutable {
                              return resolver.resolve(portNumber);
                          }};
}

SerialPlatform defaultSerialPlatform() {
    return serialPlatform(ComPortResolver());
}

}  // namespace tidewell
