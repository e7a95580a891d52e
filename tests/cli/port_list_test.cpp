#include "tidewell/cli/port_list.h"

#include <gtest/gtest.h>

namespace tidewell::cli {
namespace {

TEST(CliPortList, EachNumberShowsItsDeviceAndWhetherItIsThere) {
    std::vector<ComPortEntry> entries(3);
    entries[0] = {1, "/dev/ttyS0", true};
    entries[1] = {2, "", false};
    entries[2] = {12, "/dev/serial/by-id/usb-X", false};
    EXPECT_EQ(formatPortList(entries, 12),
              "COM1   /dev/ttyS0               present\n"
              "COM2   -                        (nothing assigned)\n"
              "COM12  /dev/serial/by-id/usb-X  absent  (saved)\n");
}

TEST(CliPortList, DescriptionsGetAColumnAfterTheDevice) {
    std::vector<ComPortEntry> entries(3);
    entries[0] = {1, "\\\\.\\COM1", true, "Communications Port (COM1)"};
    entries[1] = {2, "\\\\.\\COM2", false};
    entries[2] = {12, "\\\\.\\COM12", true};
    EXPECT_EQ(formatPortList(entries, 2),
              "COM1   \\\\.\\COM1   Communications Port (COM1)  present\n"
              "COM2   \\\\.\\COM2                               absent  (saved)\n"
              "COM12  \\\\.\\COM12                              present\n");
}

TEST(CliPortList, NoEntriesNoLines) {
    EXPECT_EQ(formatPortList({}, 1), "");
}

}  // namespace
}  // namespace tidewell::cli
