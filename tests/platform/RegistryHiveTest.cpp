#include "platform/RegistryHive.h"

#include <gtest/gtest.h>

#include "tests/platform/RegistryValues.h"

namespace qx6::platform {
namespace {

using test::Lit;

std::string Utf16Le(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

// Values as "name type data" lines, for one comparison that shows what differs.
std::string Show(const std::vector<RegistryValue>& values) {
  std::string out;
  for (const RegistryValue& v : values) out += v.name + " " + std::to_string(v.type) + " " + v.data + "\n";
  return out;
}

std::unique_ptr<RegistryHive> ParseUser(std::string_view text, std::string* problem = nullptr) {
  return RegistryHive::Parse(text, "HKEY_CURRENT_USER", problem);
}

TEST(RegistryHive, EveryValueTypeSurvivesTheFile) {
  RegistryHive hive("HKEY_CURRENT_USER");
  RegistryKeyNode& key = hive.Root().AddSubkey("Software").AddSubkey("Quorvex 6 \xC3\xA9t\xC3\xA9");
  key.SetEveryone(true);
  std::string longBinary;
  for (int i = 0; i < 300; ++i) longBinary += static_cast<char>(i & 0xFF);
  const std::vector<RegistryValue> values = {
      {"", REG_SZ, Lit("default\0")}, {"Plain", REG_SZ, Lit("C:\\Path \"quoted\" \xE2\x82\xAC\0")},
      {"Two lines", REG_SZ, Lit("a\r\nb\0")}, {"No terminator", REG_SZ, "abc"}, {"Empty", REG_SZ, ""},
      {"Expand", REG_EXPAND_SZ, Lit("%HOME%/x\0")}, {"Binary", REG_BINARY, longBinary},
      {"Number", REG_DWORD, Lit("\x09\x04\x00\x00")}, {"Short number", REG_DWORD, Lit("\x01\x02")},
      {"Big endian", REG_DWORD_BIG_ENDIAN, Lit("\x00\x00\x04\x09")},
      {"List", REG_MULTI_SZ, Lit("one\0two\0\xF0\x9F\x98\x80\0\0")},
      {"Quad", REG_QWORD, Lit("\x01\x02\x03\x04\x05\x06\x07\x08")}, {"None", REG_NONE, ""},
      {"Odd type", 0x12345, "xyz"}, {"Name with \\ and \"", REG_SZ, Lit("v\0")}};
  for (const RegistryValue& v : values) key.SetValue(v.name, v.type, v.data);
  hive.Root().AddSubkey("Empty key");

  const std::string text = hive.Serialize();
  std::string problem;
  auto back = ParseUser(text, &problem);
  ASSERT_TRUE(back) << problem << "\n" << text;
  const RegistryKeyNode* found = back->Find({"software", "QUORVEX 6 \xC3\xA9T\xC3\xA9"});
  ASSERT_TRUE(found);
  EXPECT_EQ(found->Name(), "Quorvex 6 \xC3\xA9t\xC3\xA9");
  EXPECT_TRUE(found->Everyone());
  EXPECT_EQ(Show(found->Values()), Show(values));
  EXPECT_TRUE(back->Find({"Empty key"}));
  EXPECT_FALSE(back->Find({"Software"})->Everyone());
  EXPECT_EQ(back->Serialize(), text);
  // Long data are wrapped as regedit wraps them.
  for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    EXPECT_LE(end - start, 80u);
}

TEST(RegistryHive, WritesTheFormsRegeditWritesReportsChangesAndKeepsSubkeysInOrder) {
  RegistryHive hive("HKEY_LOCAL_MACHINE");
  RegistryKeyNode& key = hive.Root().AddSubkey("Software").AddSubkey("App");
  key.SetValue("Text", REG_SZ, Lit("C:\\x\0"));
  key.SetValue("Count", REG_DWORD, Lit("\x2A\0\0\0"));
  key.SetValue("", REG_BINARY, "\x01\xFF");
  EXPECT_EQ(hive.Serialize(),
            "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\n"
            "\n[HKEY_LOCAL_MACHINE\\Software\\App]\n\"Text\"=\"C:\\\\x\"\n\"Count\"=dword:0000002a\n@=hex:01,ff\n\n");
  // Case-insensitive paths and names are pinned through the registry API; here,
  // what only the tree tells: whether a call changed anything, and the order.
  RegistryKeyNode& mixed = hive.Root().AddSubkey("MixedCase");
  bool created = true;
  EXPECT_EQ(&hive.Root().AddSubkey("MIXEDCASE", &created), &mixed);
  EXPECT_FALSE(created);
  EXPECT_TRUE(mixed.SetValue("Value", REG_SZ, "1"));
  EXPECT_FALSE(mixed.SetValue("VALUE", REG_SZ, "1"));
  EXPECT_TRUE(mixed.SetValue("VALUE", REG_SZ, "2"));
  EXPECT_EQ(mixed.Values().at(0).name, "Value");
  hive.Root().AddSubkey("b");
  hive.Root().AddSubkey("A");
  std::string order;
  for (size_t i = 0; i < hive.Root().SubkeyCount(); ++i) order += hive.Root().SubkeyAt(i).Name() + " ";
  EXPECT_EQ(order, "A b MixedCase Software ");
}

// The value forms themselves come back in the round trip above; here, what
// regedit's own export adds: UTF-16 with a byte order mark, CR LF, comments.
TEST(RegistryHive, ReadsARegeditExportWithDeletionsAndAbbreviatedRoots) {
  const std::u16string_view text =
      u"\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Quorvex 6]\r\n"
      u"\"LocaleId\"=dword:00000407\r\n\r\n; a comment\r\n[HKEY_CURRENT_USER\\Software\\Quorvex 6\\Font]\r\n"
      u"\"Path\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,\\\r\n"
      u"  00,45,00,25,00,5c,00,78,00,00,00\r\n";
  std::string problem;
  auto hive = ParseUser(Utf16Le(text), &problem);
  ASSERT_TRUE(hive) << problem;
  const RegistryKeyNode* app = hive->Find({"Software", "Quorvex 6"});
  ASSERT_TRUE(app && app->SubkeyCount() == 1);
  EXPECT_EQ(Show(app->Values()) + Show(app->SubkeyAt(0).Values()),
            "LocaleId 4 " + Lit("\x07\x04\0\0") + "\nPath 2 " + Lit("%USERPROFILE%\\x\0") + "\n");

  // Deletions and abbreviated roots are applied.
  hive = ParseUser(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\n"
      "[HKCU\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n"
      "[HKEY_CURRENT_USER\\A\\B]\n\"x\"=-\n[HKEY_CURRENT_USER\\C]\n[-HKEY_CURRENT_USER\\C]\n"
      "[HKEY_CURRENT_USER]\n@=dword:1\n");
  ASSERT_TRUE(hive);
  EXPECT_FALSE(hive->Find({"A", "B"})->FindValue("x"));
  EXPECT_TRUE(hive->Find({"a", "b"})->FindValue("Y"));
  EXPECT_FALSE(hive->Find({"C"}));
  EXPECT_EQ(hive->Root().FindValue("")->data, Lit("\1\0\0\0"));
}

TEST(RegistryHive, ReadsEmptyTextAsAnEmptyHiveAndRejectsDamagedText) {
  for (std::string_view text : {"", "  \n\r\n\t", "Windows Registry Editor Version 5.00\r\n"}) {
    auto hive = ParseUser(text);
    EXPECT_TRUE(hive && hive->Root().SubkeyCount() == 0) << text;
  }
  const std::string header = "Windows Registry Editor Version 5.00\n";
  const std::string key = header + "[HKEY_CURRENT_USER\\A]\n";
  const std::vector<std::string> damaged = {
      "[HKEY_CURRENT_USER\\A]\n", "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n",  // no header, another header
      header + "\"x\"=\"before any key\"\n", header + "[HKEY_LOCAL_MACHINE\\A]\n",  // another root
      header + "[HKEY_CURRENT_USER\\A\n", header + "[HKEY_CURRENT_USER\\A\\\\B]\n",  // no bracket, empty level
      key + "\"x\"=\"open\n", key + "\"x\"=\"a\" trailing\n", key + "\"x\"=hex:123\n",
      key + "\"x\"=hex(2):41,00,42\n",  // odd UTF-16
      key + "\"x\"=hex(2:41,00\n", key + "\"x\"=hex:01,\\\n",  // continues past the end
      key + "\"x\"=dword:123456789\n", key + "\"x\"=qword:1\n", key + "garbage\n",
      key + "\"x\"=\"\xC3\x28\"\n",  // not UTF-8
      Lit("\xFF\xFE") + Utf16Le(u"W") + "x"};  // odd UTF-16 file
  for (const std::string& text : damaged) {
    std::string problem;
    EXPECT_FALSE(ParseUser(text, &problem)) << text;
    EXPECT_FALSE(problem.empty());
  }
  std::string problem;
  ParseUser(header + "\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:zz\n", &problem);
  EXPECT_EQ(problem, "line 4: bad hex byte \"zz\"");
  ParseUser(header + "[HKEY_CURRENT_USER\\A]\n\n\"x\"=\"\xC3\x28\"\n", &problem);
  EXPECT_EQ(problem.rfind("line 4: the text is not UTF-8", 0), 0u) << problem;
  // However long the name at fault, the message stays short.
  ParseUser(header + "[HKEY_CURRENT_USER\\A\x01" + std::string(100000, 'n') + "]\n", &problem);
  EXPECT_LT(problem.size(), 200u);
}

// "[HKEY_CURRENT_USER\k\k...]" with `depth` levels.
std::string DeepKeyLine(size_t depth, std::string_view prefix = "") {
  std::string line = "[" + std::string(prefix) + "HKEY_CURRENT_USER";
  line.reserve(line.size() + depth * 2 + 2);
  for (size_t i = 0; i < depth; ++i) line += "\\k";
  return line + "]\n";
}

TEST(RegistryHive, KeysNestAtMost512LevelsInTheFileAndATreeOfAnyDepthNeedsNoRecursion) {
  const std::string header = "Windows Registry Editor Version 5.00\n\n";
  std::string problem;
  auto deepest = ParseUser(header + DeepKeyLine(MaxKeyDepth) + "\"v\"=dword:00000001\n", &problem);
  ASSERT_TRUE(deepest) << problem;
  auto again = ParseUser(deepest->Serialize(), &problem);
  ASSERT_TRUE(again) << problem;
  EXPECT_EQ(again->Serialize(), deepest->Serialize());

  for (size_t depth : {MaxKeyDepth + 1, size_t{100000}}) {
    for (std::string_view prefix : {"", "-"}) {
      EXPECT_FALSE(ParseUser(header + DeepKeyLine(depth, prefix), &problem)) << depth;
      EXPECT_EQ(problem, "line 3: the key is nested deeper than 512 levels");
    }
  }
  // A tree of any depth is walked and freed without recursion, deeper than
  // any stack would take one frame per level for.
  auto hive = std::make_unique<RegistryHive>("HKEY_CURRENT_USER");
  RegistryKeyNode* node = &hive->Root();
  for (int i = 0; i < 200000; ++i) node = &node->AddSubkey("k");
  EXPECT_FALSE(hive->AnyEveryone());
  node->SetEveryone(true);
  EXPECT_TRUE(hive->AnyEveryone());
  hive->Root().AddSubkey("k").AddSubkey("k").RemoveSubkey("k");
  EXPECT_EQ(hive->Root().SubkeyAt(0).SubkeyAt(0).SubkeyCount(), 0u);
  hive.reset();
}

}  // namespace
}  // namespace qx6::platform
