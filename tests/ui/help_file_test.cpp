// The help file parser and the HTML of its texts.
#include "ui/help_file.h"

#include <gtest/gtest.h>

#include <string>

namespace ui {
namespace {

constexpr char kSmall[] =
    "\xEF\xBB\xBF# a comment before everything\r\n"
    "@help 1\r\n"
    "@caption en Small Help\n"
    "@caption ru Малая справка\n"
    "@nopopup en Nothing here.\n"
    "@nopopup ru Здесь ничего.\n"
    "\n"
    "@topic 0x20066 main\n"
    "@title en Main window\n"
    "@title ru Главное окно\n"
    "@text en\n"
    "\n"
    "First line\n"
    "# a comment inside a text\n"
    "\\@ and \\# start these lines\n"
    "\\# here\n"
    "See [[second]].\n"
    "\n"
    "@text ru\n"
    "Первая строка\n"
    "@topic 12 second\n"
    "@title ru Второй\n"
    "@title en Second\n"
    "@text ru\n"
    "Текст\n"
    "@text en\n"
    "Text\n"
    "@popup 0x8082042B\n"
    "@text en\n"
    "The drive.\n"
    "@text ru\n"
    "Устройство.\n";

TEST(HelpFile, TopicsAndPopupsInBothLanguages) {
  HelpFile file;
  HelpParseError error;
  ASSERT_TRUE(ParseHelpFile(kSmall, &file, &error)) << error.line << ": " << error.message;
  EXPECT_EQ(file.caption.In(1), "Small Help");
  EXPECT_EQ(file.caption.In(0), "Малая справка");
  EXPECT_EQ(file.noPopup.In(255), "Nothing here.");
  ASSERT_EQ(file.topics.size(), 2u);
  EXPECT_EQ(file.topics[0].number, 0x20066u);
  EXPECT_EQ(file.topics[0].name, "main");
  EXPECT_EQ(file.topics[1].number, 12u);
  EXPECT_EQ(file.topics[1].title.In(0), "Второй");
  EXPECT_EQ(file.topics[1].title.In(1), "Second");
  // Blank lines at both ends are dropped, comments left out, the escape taken off.
  EXPECT_EQ(file.topics[0].text.english, "First line\n@ and \\# start these lines\n# here\nSee [[second]].");
  EXPECT_EQ(file.topics[0].text.russian, "Первая строка");
  ASSERT_NE(file.FindPopup(0x8082042B), nullptr);
  EXPECT_EQ(file.FindPopup(0x8082042B)->text.In(-1), "The drive.");
  EXPECT_EQ(file.FindPopup(0x8082042B)->text.In(0), "Устройство.");
  EXPECT_EQ(file.FindPopup(0x8082042C), nullptr);
  EXPECT_EQ(file.FindTopic(12), &file.topics[1]);
  EXPECT_EQ(file.FindTopicByName("main"), &file.topics[0]);
}

// Each broken file with the line the error is reported at (0: the file).
TEST(HelpFile, MalformedFilesAreRefusedWithTheirLine) {
  const std::string header = "@help 1\n@caption en C\n@caption ru C\n@nopopup en N\n@nopopup ru N\n";  // lines 1..5
  const std::string topic = "@topic 1 a\n@title en A\n@title ru A\n@text en\nx\n@text ru\nx\n";             // lines 6..12
  struct Case {
    std::string text;
    int line;
  };
  const Case cases[] = {
      {"", 0},
      {"just text\n", 1},
      {"@help 2\n", 1},
      {"@topic 1 a\n", 1},
      {header + "@colour en red\n", 6},
      {header + "stray words\n", 6},
      {"@help 1\n@caption en C\n@nopopup en N\n@nopopup ru N\n" , 0},               // no Russian caption
      {header + "@topic 1 a\n@title en A\n@text en\nx\n@text ru\nx\n", 6},          // no Russian title
      {header + "@topic 1 a\n@title en A\n@title ru A\n@text en\nx\n", 6},          // no Russian text
      {header + "@topic 1 a\n@title en A\n@title ru A\n@text en\n\n@text ru\nx\n", 9},  // empty text
      {header + "@topic 1 a\n@title en A\n@title de A\n", 8},
      {header + "@topic 1 a\n@title en A\n@title en B\n", 8},
      {header + topic + "@topic 1 b\n", 13},
      {header + topic + "@topic 2 a\n", 13},
      {header + "@topic 0x1G a\n", 6},
      {header + "@topic 0 a\n", 6},
      {header + "@topic 1 a/b\n", 6},
      {header + "@popup 99999999999\n", 6},
      {header + topic + "@caption en Late\n", 13},
      {header + "@topic 1 a\n@title en A\n@title ru A\n@text en\nsee [[nowhere]]\n@text ru\nx\n", 0},
      {header + "@topic 1 a\n@title en A\n@title ru A\n@text en\nsee [[a\n@text ru\nx\n", 0},
      {header + topic + "@popup 5\n@text en\n[[a]]\n@text ru\nx\n", 0},
      {header + topic + "@popup 5\n@text en\nx\n@text ru\nx\n@popup 5\n", 18},
  };
  for (const Case& c : cases) {
    HelpFile file;
    HelpParseError error;
    EXPECT_FALSE(ParseHelpFile(c.text, &file, &error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text << "\n-> " << error.message;
    EXPECT_FALSE(error.message.empty());
  }
  HelpFile file;
  HelpParseError error;
  EXPECT_TRUE(ParseHelpFile(header + topic, &file, &error)) << error.message;
}

TEST(HelpFile, TextMarksBecomeHtml) {
  HelpFile file;
  HelpParseError error;
  ASSERT_TRUE(ParseHelpFile(kSmall, &file, &error));
  const std::string text =
      "First <paragraph> & its\nsecond line.\n"
      "\n"
      "! A heading with **bold**\n"
      "- item one\n"
      "  goes on\n"
      "- item [[second]] and [[main|the words]]\n"
      "After the list.";
  EXPECT_EQ(HelpTextToHtml(text, file, 1),
            "<p>First &lt;paragraph&gt; &amp; its second line.</p>\n"
            "<h3>A heading with <b>bold</b></h3>\n"
            "<ul>\n<li>item one goes on</li>\n"
            "<li>item <a href=\"topic:second\">Second</a> and <a href=\"topic:main\">the words</a></li>\n</ul>\n"
            "<p>After the list.</p>\n");
  // A link shows the title in the language asked for; a bold mark left open is closed.
  EXPECT_EQ(HelpTextToHtml("[[second]] **open", file, 0), "<p><a href=\"topic:second\">Второй</a> <b>open</b></p>\n");
}

}  // namespace
}  // namespace ui
