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

TEST(CliPortList, NoEntriesNoLines) {
    EXPECT_EQ(formatPortList({}, 1), "");
}

}  // namespace
}  // namespace tidewell::cli
