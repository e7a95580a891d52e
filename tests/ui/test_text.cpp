#include <gtest/gtest.h>

#include "tidewell/resources/resources.h"
#include "tidewell/ui/paint.h"
#include "tidewell/ui/text.h"

namespace tidewell::ui {
namespace {

TEST(FormatMessage, FillsNumberedInsertsOfTheStringTable) {
    EXPECT_EQ(formatMessage(res::loadString(131), 3), "Unable to open COM3.");
    EXPECT_EQ(formatMessage(res::loadString(145), 42), "Transfer 42 % completed.");
    EXPECT_EQ(formatMessage(res::loadString(135), 7), "Unexpected state 7.");
    EXPECT_EQ(formatMessage(res::loadString(144), -1), "Unexpected -1.");
}

TEST(FormatMessage, AppliesPrintfConversionsBetweenBangs) {
    EXPECT_EQ(formatMessage("[%1!5d!]", 42), "[   42]");
    EXPECT_EQ(formatMessage("[%1!-4d!]", 7), "[7   ]");
    EXPECT_EQ(formatMessage("%1!04X!", 255), "00FF");
    EXPECT_EQ(formatMessage("%1!x!", 255), "ff");
    EXPECT_EQ(formatMessage("%1!u!", 9), "9");
    EXPECT_EQ(formatMessage("%1!s! and %2!d!", "text", 5), "text and 5");
    EXPECT_EQ(formatMessage("%1!ld!", 12), "12");
}

TEST(FormatMessage, OrdersInsertsByNumberNotPosition) {
    EXPECT_EQ(formatMessage("%2 before %1", "one", "two"), "two before one");
    EXPECT_EQ(formatMessage("%1%1", 4), "44");
}

TEST(FormatMessage, InsertsWithoutConversionShowTheirNaturalForm) {
    EXPECT_EQ(formatMessage("COM%1", 12), "COM12");
    EXPECT_EQ(formatMessage("file %1", std::string("a.bak")), "file a.bak");
}

TEST(FormatMessage, EscapesAndLineBreaks) {
    EXPECT_EQ(formatMessage("100%% sure%."), "100% sure.");
    EXPECT_EQ(formatMessage("a%nb%tc%bd"), "a\r\nb\tc d");
    EXPECT_EQ(formatMessage("kept%0dropped"), "kept");
    EXPECT_EQ(formatMessage("bang%!"), "bang!");
}

TEST(FormatMessage, MissingOrMalformedInsertsStayAsWritten) {
    EXPECT_EQ(formatMessage("COM%2!d!.", 3), "COM%2!d!.");
    EXPECT_EQ(formatMessage("%1!q! left", 3), "3!q! left");
    EXPECT_EQ(formatMessage("open %1!d", 3), "open 3!d");
    EXPECT_EQ(formatMessage("end %"), "end %");
    EXPECT_EQ(formatMessage("%z"), "%z");
}

TEST(FormatMessage, ValueOfAStringGivenToAnIntegerConversionIsShownAsText) {
    EXPECT_EQ(formatMessage("%1!d!", "abc"), "abc");
}

TEST(StringPrintf, FormatsLikePrintf) {
    EXPECT_EQ(stringPrintf("COM%d", 3), "COM3");
    EXPECT_EQ(stringPrintf("Transfer %d %% completed.", 42), "Transfer 42 % completed.");
    EXPECT_EQ(stringPrintf("%s", std::string(5000, 'x').c_str()).size(), 5000u);
}

TEST(FileFilter, ParsesDescriptionPatternPairs) {
    const auto one = parseFileFilter("Firmware files (*.pkg)|*.pkg|");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0], (FileFilter{"Firmware files (*.pkg)", "*.pkg"}));

    const auto two = parseFileFilter("Backup files (*.bak)|*.bak|All files|*.*||");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1], (FileFilter{"All files", "*.*"}));
}

TEST(FileFilter, StopsAtAnEmptyDescriptionAndDropsPairsWithoutPattern) {
    EXPECT_TRUE(parseFileFilter("").empty());
    EXPECT_TRUE(parseFileFilter("||Text|*.txt|").empty());
    EXPECT_TRUE(parseFileFilter("Lonely").empty());
    const auto parsed = parseFileFilter("No pattern||Text|*.txt");
    ASSERT_EQ(parsed.size(), 1u);
    EXPECT_EQ(parsed[0].pattern, "*.txt");
}

TEST(Mnemonics, AmpersandsMarkMnemonicsUnlessDoubled) {
    EXPECT_EQ(stripMnemonics("&Next >"), "Next >");
    EXPECT_EQ(stripMnemonics("< &Back"), "< Back");
    EXPECT_EQ(stripMnemonics("Salt && Pepper"), "Salt & Pepper");
    EXPECT_EQ(stripMnemonics("trailing&"), "trailing");
}

TEST(DrawTextLayout, NoPrefixShowsAmpersandsAsTheyStand) {
    EXPECT_EQ(drawTextCharacters("Backup & Restore", DT_SINGLELINE | DT_NOPREFIX),
              "Backup & Restore");
    EXPECT_EQ(drawTextCharacters("Backup & Restore", DT_SINGLELINE), "Backup  Restore");
    EXPECT_EQ(drawTextCharacters("two\r\nlines", DT_SINGLELINE | DT_NOPREFIX), "two  lines");
}

TEST(DrawTextLayout, SingleLineIsLeftAlignedAndVerticallyCentred) {
    const Rect rect{10, 20, 150, 30};
    EXPECT_EQ(singleLineOrigin({40, 10}, rect, DT_SINGLELINE | DT_VCENTER), (Point{10, 30}));
    // Wider than the rectangle: still starts at the left edge (the caller clips the right).
    EXPECT_EQ(singleLineOrigin({400, 10}, rect, DT_SINGLELINE | DT_VCENTER), (Point{10, 30}));
    EXPECT_EQ(singleLineOrigin({40, 10}, rect, DT_SINGLELINE | DT_BOTTOM), (Point{10, 40}));
    EXPECT_EQ(singleLineOrigin({40, 10}, rect, DT_CENTER), (Point{65, 20}));
    EXPECT_EQ(singleLineOrigin({40, 10}, rect, DT_RIGHT | DT_VCENTER), (Point{120, 20}));
}

TEST(Fonts, FaceNamesAreCutToTheBufferAndTerminated) {
    LOGFONT font;
    setFaceName(font, "Tahoma");
    EXPECT_STREQ(font.lfFaceName, "Tahoma");
    setFaceName(font, std::string(40, 'x'));
    EXPECT_EQ(std::string(font.lfFaceName).size(), static_cast<std::size_t>(LF_FACESIZE - 1));
}

}  // namespace
}  // namespace tidewell::ui
