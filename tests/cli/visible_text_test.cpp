#include "tidewell/cli/visible_text.h"

#include <gtest/gtest.h>

namespace tidewell::cli {
namespace {

TEST(CliVisibleText, ControlCharactersBecomeVisible) {
    EXPECT_EQ(visibleText("\x1b]0;pwned\x07\x1b[2Jupdate OK"), "\\e]0;pwned^G\\e[2Jupdate OK");
    EXPECT_EQ(visibleText(std::string("a\0b\rc\x7f", 6)), "a^@b^Mc^?");
    EXPECT_EQ(visibleText("tab\there, back\\slash"), "tab\there, back\\slash");
}

TEST(CliVisibleText, Utf8StaysButC1ControlsAndBrokenBytesDoNot) {
    EXPECT_EQ(visibleText("Grüße, 東京, 🎵"), "Grüße, 東京, 🎵");
    EXPECT_EQ(visibleText("\xc2\x9b"
                          "2J"),
              "\\u009b2J");  // CSI as UTF-8
    EXPECT_EQ(visibleText("\x9b"
                          "2J"),
              "\\x9b2J");                                       // CSI as one byte
    EXPECT_EQ(visibleText("\xe2\x82"), "\\xe2\\x82");           // cut short
    EXPECT_EQ(visibleText("\xc0\xaf"), "\\xc0\\xaf");           // overlong '/'
    EXPECT_EQ(visibleText("\xed\xa0\x80"), "\\xed\\xa0\\x80");  // a surrogate
}

}  // namespace
}  // namespace tidewell::cli
