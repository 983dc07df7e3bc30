#include "config/modXMLHelper.h"

#include <gtest/gtest.h>

namespace qx6::modXMLHelper {
namespace {

// Each escape, and the entity text protected by escaping "&" first, show in
// the configuration files written and read (ExportConfigFile).
TEST(modXMLHelper, UnescapeTurnsAmpBeforeCrLfAndTagsFollowTheBrackets) {
  EXPECT_EQ(XmlUnescape("&amp#xD;"), "\r\n");
  EXPECT_EQ(XmlUnescape("&ltb&gt&quot&apos&amp"), "<b>\"'&");
  // "&amplt" becomes "&lt", which stays: &lt was replaced before &amp.
  EXPECT_EQ(XmlUnescape("&amplt"), "&lt");
  EXPECT_EQ(XmlUnescape(XmlEscape("&lt; a&&b")), "&lt; a&&b");
  // A tag's name and value follow the first and last brackets.
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
