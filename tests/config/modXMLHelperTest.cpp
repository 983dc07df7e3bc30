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
  EXPECT_EQ(XmlTagName("<Name>abc</Name>"), "Name");
  EXPECT_EQ(XmlTagName("  <Column>"), "Column");
  EXPECT_EQ(XmlTagName("</Column>"), "/Column");
  EXPECT_EQ(XmlTagName("<Name attr=\"1\">x</Name>"), "Name attr=\"1\"");
  EXPECT_EQ(XmlTagName("no tag"), "");
  EXPECT_EQ(XmlTagName(">x<"), "");
  EXPECT_EQ(XmlTagName("<>"), "");
  EXPECT_EQ(XmlTagValue("<DateFormat>a>b</DateFormat>"), "a>b");
  EXPECT_EQ(XmlTagValue("<Name>A&ampB</Name>"), "A&B");
  EXPECT_EQ(XmlTagValue("<Column>"), "");
  EXPECT_EQ(XmlTagValue("<Name>unterminated"), "");
  EXPECT_EQ(XmlTagValue("text"), "");
}

}  // namespace
}  // namespace qx6::modXMLHelper
