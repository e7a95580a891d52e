#include "line_editor.h"

#include <gtest/gtest.h>

#include <string>

namespace tidewell::cli {
namespace {

constexpr char16_t kBackspace = 0x08;
constexpr char16_t kCtrlZ = 0x1A;

void typeAll(LineEditor& editor, std::u16string_view keys) {
    for (const char16_t unit : keys) editor.type(unit);
}

TEST(CliLineEditor, EchoesAndEditsTheLineUntilEnter) {
    LineEditor editor;
    typeAll(editor, u"vez");
    editor.type(kBackspace);
    typeAll(editor, u"r\x1b\t\x7f");  // Escape, Tab and Delete type nothing
    EXPECT_EQ(editor.takeLines(), "");
    EXPECT_EQ(editor.takeEcho(), "vez\b \br");

    editor.type(u'\r');
    editor.type(u'\n');  // a pasted CR LF is one line end
    EXPECT_EQ(editor.takeLines(), "ver\n");
    EXPECT_EQ(editor.takeEcho(), "\r\n");

    editor.type(kBackspace);  // nothing to take back
    editor.type(u'\r');
    EXPECT_EQ(editor.takeEcho(), "\r\n");
    EXPECT_EQ(editor.takeLines(), "\n");
    EXPECT_FALSE(editor.ended());
}

TEST(CliLineEditor, CharactersBeyondAsciiAreUtf8AndTakenBackWhole) {
    LineEditor editor;
    typeAll(editor, u"\u00e9\u20ac\U0001F600");
    editor.type(kBackspace);
    editor.type(kBackspace);
    editor.type(u'\xd83d');  // a lone high surrogate is dropped at the next key
    typeAll(editor, u"x\r");
    EXPECT_EQ(editor.takeLines(), "\xc3\xa9x\n");
    EXPECT_EQ(editor.takeEcho(), "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\b \b\b \bx\r\n");
}

TEST(CliLineEditor, CtrlZEndsInputAtOnceOnAnEmptyLineElseWithEnter) {
    LineEditor atStart;
    typeAll(atStart, u"ab\r");
    atStart.type(kCtrlZ);
    typeAll(atStart, u"cd\r");
    EXPECT_TRUE(atStart.ended());
    EXPECT_EQ(atStart.takeLines(), "ab\n");
    EXPECT_EQ(atStart.takeEcho(), "ab\r\n^Z\r\n");

    LineEditor midLine;
    typeAll(midLine, u"ab");
    midLine.type(kCtrlZ);
    midLine.type(kBackspace);  // takes the Ctrl-Z back
    midLine.type(kCtrlZ);
    midLine.type(u'x');  // dropped after Ctrl-Z
    EXPECT_FALSE(midLine.ended());
    midLine.type(u'\r');
    EXPECT_TRUE(midLine.ended());
    EXPECT_EQ(midLine.takeLines(), "ab\n");
    EXPECT_EQ(midLine.takeEcho(), "ab^Z\b\b  \b\b^Z\r\n");
}

}  // namespace
}  // namespace tidewell::cli
