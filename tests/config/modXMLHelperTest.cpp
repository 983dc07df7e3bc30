#include "config/modXMLHelper.h"

#include <gtest/gtest.h>

namespace qx6::modXMLHelper {
namespace {

TEST(modXMLHelper, ElementLinesEscapeInTheirOrder) {
  EXPECT_EQ(XmlDeclaration(), "<?xml version=\"1.0\"?>");
  EXPECT_EQ(XmlElement("Name", "A&B <x> \"q\" 'a'"),
            "<Name>A&ampB &ltx&gt &quotq&quot &aposa&apos</Name>");
  EXPECT_EQ(XmlEscape("a\r\nb\rc\nd"), "a&#xD;b\rc\nd");
  // The literal entity text is protected by escaping "&" first.
  EXPECT_EQ(XmlEscape("&#xD;"), "&amp#xD;");
  EXPECT_EQ(XmlOpenTag("Column"), "<Column>");
  EXPECT_EQ(XmlCloseTag("Column"), "</Column>");
}

TEST(modXMLHelper, UnescapeTurnsAmpBeforeCrLf) {
  EXPECT_EQ(XmlUnescape("&amp#xD;"), "\r\n");
  EXPECT_EQ(XmlUnescape("&ltb&gt&quot&apos&amp"), "<b>\"'&");
  // "&amplt" becomes "&lt", which stays: &lt was replaced before &amp.
  EXPECT_EQ(XmlUnescape("&amplt"), "&lt");
  for (std::string text : {"plain", "A&B <x> \"q\" 'a'", "x\r\ny", "&lt;", "a&&b"})
    EXPECT_EQ(XmlUnescape(XmlEscape(text)), text);
}

TEST(modXMLHelper, TagNameAndValueFollowTheFirstAndLastBrackets) {
  const std::pair<const char*, const char*> names[] = {
      {"<Name>abc</Name>", "Name"}, {"  <Column>", "Column"}, {"</Column>", "/Column"},
      {"<Name attr=\"1\">x</Name>", "Name attr=\"1\""}, {"no tag", ""}, {">x<", ""}, {"<>", ""}};
  for (const auto& [line, name] : names) EXPECT_EQ(XmlTagName(line), name) << line;
  const std::pair<const char*, const char*> values[] = {{"<DateFormat>a>b</DateFormat>", "a>b"},
      {"<Name>A&ampB</Name>", "A&B"}, {"<Column>", ""}, {"<Name>unterminated", ""}, {"text", ""}};
  for (const auto& [line, value] : values) EXPECT_EQ(XmlTagValue(line), value) << line;
}

}  // namespace
}  // namespace qx6::modXMLHelper
