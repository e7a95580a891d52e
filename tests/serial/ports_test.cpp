// COM-number resolution over a fake sysfs and /dev tree.
#include "tidewell/serial/ports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <array>
#include <fstream>

namespace tidewell {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::Field;

struct PortsTree : ::testing::Test {
    fs::path root;
    DeviceRoots roots;
    fs::path settingsFile;

    PortsTree() {
        std::string pattern = (fs::temp_directory_path() / "tidewell-ports-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        roots = {root / "sys/class/tty", root / "dev"};
        settingsFile = root / "config/tidewell.ini";
        fs::create_directories(roots.sysClassTty);
        fs::create_directories(roots.dev);
    }
    ~PortsTree() override {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    // A tty as sysfs shows it; hardwareType is written to "type" when given.
    void addTty(const std::string& name, bool withDevice = true,
                const char* hardwareType = nullptr) {
        const fs::path entry = roots.sysClassTty / name;
        fs::create_directories(entry);
        if (withDevice) fs::create_directories(entry / "device");
        if (hardwareType) std::ofstream(entry / "type") << hardwareType << "\n";
        std::ofstream(roots.dev / name) << "";
    }
    void unplug(const std::string& name) {
        fs::remove_all(roots.sysClassTty / name);
        fs::remove(roots.dev / name);
    }
    void addById(const std::string& link, const std::string& node) {
        fs::create_directories(roots.dev / "serial/by-id");
        fs::create_symlink("../../" + node, roots.dev / "serial/by-id" / link);
    }
    std::string dev(const std::string& name) const { return (roots.dev / name).string(); }
    ComPortResolver resolver() const { return ComPortResolver(SettingsStore(settingsFile), roots); }
    SettingsStore store() const { return SettingsStore(settingsFile); }
};

TEST_F(PortsTree, OnlyRealSerialDevicesArePresent) {
    addTty("ttyS0", true, "4");
    addTty("ttyS1", true, "0");  // no hardware behind it
    addTty("ttyS10", true, "4");
    addTty("ttyS2", true, "4");
    addTty("tty0", false);  // virtual console
    addTty("ttyUSB0");
    addTty("ttyACM0");
    addById("usb-FTDI_FT232R_A50285BI-if00-port0", "ttyUSB0");
    const auto devices = resolver().presentDevices();
    using D = SerialDevice;
    EXPECT_THAT(devices, ElementsAre(Field(&D::node, dev("ttyACM0")), Field(&D::node, dev("ttyS0")),
                                     Field(&D::node, dev("ttyS2")), Field(&D::node, dev("ttyS10")),
                                     Field(&D::node, dev("ttyUSB0"))));
    EXPECT_EQ(devices.back().stableName, dev("serial/by-id/usb-FTDI_FT232R_A50285BI-if00-port0"));
    EXPECT_EQ(devices.front().stableName, dev("ttyACM0"));
}

TEST_F(PortsTree, PortsEntriesComeFirstAndNewDevicesTakeTheLowestFreeNumbers) {
    store().setString(kPortsSection, "COM1", "/tmp/tidewell-demo-tty");
    store().setString(kPortsSection, "com3", dev("ttyS0"));  // the user's own entry
    addTty("ttyS0", true, "4");
    addTty("ttyUSB0");
    addTty("ttyACM0");
    addById("usb-Prolific-if00", "ttyUSB0");
    auto r = resolver();
    EXPECT_EQ(r.resolve(1), "/tmp/tidewell-demo-tty");
    EXPECT_EQ(r.resolve(2), dev("ttyACM0"));
    EXPECT_EQ(r.resolve(3), dev("ttyS0"));
    EXPECT_EQ(r.resolve(4), dev("serial/by-id/usb-Prolific-if00"));
    EXPECT_EQ(r.resolve(5), "");
    EXPECT_EQ(store().getSection(kPortsSection).size(), 4u);  // ttyS0 kept its one number
}

TEST_F(PortsTree, NumbersStickAcrossUnplugAndReplug) {
    addTty("ttyUSB0");
    addById("usb-FTDI-A", "ttyUSB0");
    addTty("ttyACM0");
    EXPECT_EQ(resolver().resolve(2), dev("serial/by-id/usb-FTDI-A"));

    // The FTDI adapter comes back as ttyUSB1 while a new adapter takes ttyUSB0.
    unplug("ttyUSB0");
    fs::remove(roots.dev / "serial/by-id/usb-FTDI-A");
    addTty("ttyUSB1");
    addById("usb-FTDI-A", "ttyUSB1");
    addTty("ttyUSB0");
    addById("usb-CH340-B", "ttyUSB0");
    auto r = resolver();
    const auto entries = r.entries();
    ASSERT_EQ(entries.size(), 16u);
    EXPECT_EQ(entries[0].devicePath, dev("ttyACM0"));
    EXPECT_EQ(entries[1].devicePath, dev("serial/by-id/usb-FTDI-A"));
    EXPECT_TRUE(entries[1].present);
    EXPECT_EQ(entries[2].devicePath, dev("serial/by-id/usb-CH340-B"));
    EXPECT_EQ(entries[3].devicePath, "");
    EXPECT_FALSE(entries[3].present);
    EXPECT_EQ(entries[15].number, 16);

    unplug("ttyACM0");
    const auto later = r.entries();
    EXPECT_EQ(later[0].devicePath, dev("ttyACM0"));  // kept for when it returns
    EXPECT_FALSE(later[0].present);
}

TEST_F(PortsTree, ADeviceTheUserMappedByItsNodeGetsNoSecondNumber) {
    addTty("ttyUSB0");
    addById("usb-FTDI-A", "ttyUSB0");
    store().setString(kPortsSection, "COM7", dev("ttyUSB0"));
    auto r = resolver();
    EXPECT_EQ(r.resolve(1), "");
    EXPECT_EQ(store().getSection(kPortsSection).size(), 1u);
}

// One tty under several names (a node that is a link, a by-id link to that, the /dev/pts
// name itself) is one device: its stable name is the by-id link, and the user's entry by
// another name keeps it from a second number.
TEST_F(PortsTree, NamesOfOneTerminalAreOneDevice) {
    int master = -1, slave = -1;
    std::array<char, 128> name{};
    ASSERT_EQ(::openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
    const std::unique_ptr<int, void (*)(int*)> closeMaster(&master, [](int* m) { ::close(*m); });
    const std::unique_ptr<int, void (*)(int*)> closeSlave(&slave, [](int* s) { ::close(*s); });
    addTty("ttyUSB0");
    fs::remove(roots.dev / "ttyUSB0");
    fs::create_symlink(name.data(), roots.dev / "ttyUSB0");
    addById("usb-FTDI-A", "ttyUSB0");
    EXPECT_EQ(resolver().presentDevices().at(0).stableName, dev("serial/by-id/usb-FTDI-A"));
    store().setString(kPortsSection, "COM7", name.data());
    auto r = resolver();
    EXPECT_EQ(r.resolve(1), "");
}

// The table, resolve() and the choice of free numbers read a key alike: "COM3" in any case
// names COM3, "COM03" names nothing and is left as it is.
TEST_F(PortsTree, OnlyTheCanonicalKeyNamesANumber) {
    store().setString(kPortsSection, "COM1", "/dev/one");
    store().setString(kPortsSection, "com2", "/dev/two");
    store().setString(kPortsSection, "COM03", "/dev/three");
    store().setString(kPortsSection, "COM004", "/dev/four");
    addTty("ttyUSB0");
    auto r = resolver();
    const auto entries = r.entries();
    for (const auto& entry : entries) {
        EXPECT_EQ(r.resolve(entry.number), entry.devicePath) << "COM" << int(entry.number);
    }
    EXPECT_EQ(entries[1].devicePath, "/dev/two");
    EXPECT_EQ(entries[2].devicePath, dev("ttyUSB0"));
    EXPECT_EQ(entries[3].devicePath, "");
    EXPECT_EQ(store().getString(kPortsSection, "COM03"), "/dev/three");
}

TEST_F(PortsTree, NoFreeNumberLeavesTheDeviceOutWithoutHarm) {
    for (unsigned n = 1; n <= 16; ++n) {
        store().setString(kPortsSection, "COM" + std::to_string(n),
                          "/dev/gone" + std::to_string(n));
    }
    addTty("ttyUSB0");
    auto r = resolver();
    EXPECT_TRUE(r.assignNumbers());
    for (const auto& entry : r.entries()) EXPECT_FALSE(entry.present) << int(entry.number);
}

TEST_F(PortsTree, NoDevicesAndNoSettingsWriteNothing) {
    auto r = resolver();
    EXPECT_EQ(r.resolve(1), "");
    EXPECT_FALSE(fs::exists(settingsFile));
}

TEST_F(PortsTree, StandardLinkOpensWhatThePortsSectionNames) {
    int master = -1, slave = -1;
    std::array<char, 128> name{};
    ASSERT_EQ(::openpty(&master, &slave, name.data(), nullptr, nullptr), 0);
    const std::unique_ptr<int, void (*)(int*)> closeMaster(&master, [](int* m) { ::close(*m); });
    const std::unique_ptr<int, void (*)(int*)> closeSlave(&slave, [](int* s) { ::close(*s); });
    store().setString(kPortsSection, "COM5", name.data());
    std::string why;
    auto port = createSerialPort(5, 115200, serialPlatform(resolver()), &why);
    ASSERT_NE(port, nullptr) << why;
    EXPECT_EQ(port->devicePath(), name.data());
    EXPECT_EQ(createSerialPort(6, 115200, serialPlatform(resolver()), &why), nullptr);
    EXPECT_THAT(why, ::testing::StartsWith("Error # 2 opening COM6 :"));
}

}  // namespace
}  // namespace tidewell
