#include "system/clsRegistry.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "runtime/Conversion.h"
#include "system/QXElevateEntry.h"
#include "tests/platform/RegistryValues.h"
#include "tests/runtime/RuntimeTesting.h"
#include "tests/support/TestEnvironment.h"

namespace qx6 {
namespace {

using namespace platform;
using test::Lit;
using test::Put;

const char* const NotFound = "The system cannot find the file specified.";

// The stored type of a value of the test's key, 0 when there is none.
DWORD StoredType(const std::string& name) {
  const test::Read read = test::Query(HKEY_CURRENT_USER, "Software\\Quorvex 6", name);
  return read.status == 0 ? read.type : 0;
}

class clsRegistryTest : public ::testing::Test {
 protected:
  clsRegistryTest() {
    registry.SetClassKey(HKEY_CURRENT_USER);
    registry.SetSectionKey("Software\\Quorvex 6");
  }

  test::TestEnvironment env;
  clsRegistry registry;
};

void PutHere(const std::string& name, DWORD type, const std::string& data) {
  ASSERT_EQ(Put(HKEY_CURRENT_USER, "Software\\Quorvex 6", name, type, data), ERROR_SUCCESS) << name;
}

TEST_F(clsRegistryTest, ReadsEachTypeAsTheRestOfTheSystemExpectsOrFallsBackToTheDefault) {
  EXPECT_EQ(registry.GetValueOrDefault("LocaleId", Variant::Long(-1)).LongValue(), -1);  // no key at all
  PutHere("Other", REG_DWORD, Lit("\1\0\0\0"));
  std::string error;
  EXPECT_EQ(registry.GetValueOrDefault("LocaleId", Variant::Long(-1), &error).LongValue(), -1);
  EXPECT_EQ(error, std::string("Error retrieving value: ") + NotFound);

  const std::tuple<const char*, DWORD, std::string, std::string> rows[] = {
      {"Spaced", REG_SZ, "  Tahoma  ", "Tahoma"}, {"List", REG_MULTI_SZ, Lit("one\0two\0three\0\0"), "onetwothree"},
      {"Expand", REG_EXPAND_SZ, "%HOME%/x", env.Home() + "/x"}, {"LocaleId", REG_DWORD, Lit("\x07\x04\0\0"), "1031"},
      {"Big", REG_DWORD_BIG_ENDIAN, Lit("\0\0\x04\x07"), "1031"}};
  for (const auto& [name, type, data, text] : rows) {
    PutHere(name, type, data);
    const Variant value = registry.GetValueOrDefault(name, "");
    EXPECT_EQ(value.Type(), type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN ? VarType::Long : VarType::String);
    EXPECT_EQ(Convert::ToText(value), text) << name;
    EXPECT_EQ(registry.ValueType(), static_cast<int32_t>(type)) << name;
  }
  PutHere("Blob", REG_BINARY, Lit("\x01\0\xFF"));
  Variant blob = registry.GetValueOrDefault("Blob", "");
  ASSERT_TRUE(blob.IsArray() && blob.ArrayValue().ElementCount() == 3);
  EXPECT_EQ(blob.ArrayValue().At(2).ByteValue(), 0xFF);

  // With the object's Default set, a missing value gives that instead; a
  // missing key still gives the caller's.
  registry.SetDefault(Variant::Long(7));
  EXPECT_EQ(registry.GetValueOrDefault("Missing", Variant::Long(-1)).LongValue(), 7);
  registry.SetSectionKey("Software\\Missing");
  EXPECT_EQ(registry.GetValueOrDefault("LocaleId", Variant::Long(-1)).LongValue(), -1);
}

TEST_F(clsRegistryTest, SetValueWritesExpandableTextOnlyForAReferenceAndChecksTheType) {
  ASSERT_TRUE(registry.CreateKey());
  const std::pair<const char*, DWORD> cases[] = {{"%HOME%\\x", REG_EXPAND_SZ}, {"a%b%c", REG_EXPAND_SZ},
      {"100%", REG_SZ}, {"%%", REG_SZ}, {"x%%y", REG_SZ}, {"%%%", REG_EXPAND_SZ}, {"plain", REG_SZ}};
  registry.SetValueKey("Text");
  for (int declared : {1, 2}) {
    for (const auto& [text, type] : cases) {
      registry.SetValueType(declared);
      std::string error = "stale";
      ASSERT_TRUE(registry.SetValue(Variant::String(text), &error)) << error;
      EXPECT_EQ(error, "");
      EXPECT_EQ(StoredType("Text"), type) << text << " as " << declared;
    }
  }
  // Numbers are written as their text.
  registry.SetValueType(1);
  ASSERT_TRUE(registry.SetValue(Variant::Long(42)));
  EXPECT_EQ(registry.GetValue().StringValue(), "42");
  registry.SetValueKey("Number");
  std::string error;
  const std::string invalid = "Could not set value. Invalid value for set type.";
  // Refused: text as a number, text or a list with a non-byte as bytes, a type no value has.
  const std::tuple<int, Variant, std::string> refused[] = {{4, Variant::String("12"), invalid},
      {3, Variant::String("bytes"), invalid}, {3, Variant::Array1D({Variant::Byte(1), Variant::Long(2)}), invalid},
      {11, Variant::Long(1), "Could not set value. Unknown value type."}};
  for (const auto& [type, value, message] : refused) {
    registry.SetValueType(type);
    EXPECT_FALSE(registry.SetValue(value, &error)) << type;
    EXPECT_EQ(error, message) << type;
  }
  EXPECT_EQ(StoredType("Number"), 0u);
  registry.SetValueType(4);
  EXPECT_TRUE(registry.SetValue(Variant::Integer(-2), &error));
  EXPECT_EQ(registry.GetValue().LongValue(), -2);
  registry.SetValueType(5);  // written little-endian all the same
  EXPECT_TRUE(registry.SetValue(Variant::Long(0x01020304)));
  EXPECT_EQ(StoredType("Number"), REG_DWORD);
  EXPECT_EQ(registry.GetValue().LongValue(), 0x01020304);

  registry.SetValueKey("Blob");
  registry.SetValueType(3);
  EXPECT_TRUE(registry.SetValue(Variant::ByteArray(Lit("\0\x7F")), &error));
  EXPECT_EQ(registry.GetValue().ArrayValue().At(1).ByteValue(), 0x7F);
  // A text value that cannot be text is the conversion's error.
  registry.SetValueType(1);
  EXPECT_EQ(test::ErrorOf([&] { registry.SetValue(Variant::Null()); }), 94);
}

TEST_F(clsRegistryTest, FailuresCarryTheirPrefixAndTheSystemText) {
  registry.SetSectionKey("Software\\Missing");
  registry.SetValueKey("v");
  registry.SetValueType(1);
  std::vector<std::string> names;
  int32_t count = -1;
  const std::pair<std::function<bool(std::string*)>, std::string> failures[] = {
      {[&](std::string* e) { return registry.KeyExists(e); }, ""},
      {[&](std::string* e) { return !registry.GetValue(e).IsNull(); }, "Error retrieving value: "},
      {[&](std::string* e) { return registry.SetValue(Variant::String("x"), e); }, "Unable to set value: "},
      {[&](std::string* e) { return registry.DeleteKey(e); }, "Unable to delete key: "},
      {[&](std::string* e) { return registry.DeleteValue(e); }, ""},
      {[&](std::string* e) { return registry.EnumerateValues(names, count, e); }, "Unable to enumerate values: "},
      {[&](std::string* e) { return registry.EnumerateSections(names, count, e); }, "Unable to enumerate sections: "}};
  std::string error;
  for (const auto& [call, prefix] : failures) {
    EXPECT_FALSE(call(&error)) << prefix;
    EXPECT_EQ(error, prefix + NotFound);
  }
  EXPECT_EQ(count, 0);
  // Success clears the text, except GetValue's, which only writes it on failure.
  EXPECT_TRUE(registry.CreateKey(false, &error));
  error = "stale";
  EXPECT_TRUE(registry.KeyExists(&error));
  EXPECT_EQ(error, "");
  PutHere("v", REG_SZ, "x");
  registry.SetSectionKey("Software\\Quorvex 6");
  error = "stale";
  EXPECT_EQ(registry.GetValue(&error).StringValue(), "x");
  EXPECT_EQ(error, "stale");

  registry.SetSectionKey("\\Leading");
  EXPECT_FALSE(registry.CreateKey(false, &error));
  EXPECT_EQ(error, "Unable to create key: The specified path is invalid.");

  clsRegistry noRoot;
  EXPECT_FALSE(noRoot.KeyExists(&error));
  EXPECT_EQ(error, "The handle is invalid.");
  EXPECT_TRUE(noRoot.GetValue().IsNull());
}

TEST_F(clsRegistryTest, DeletesValuesAndWholeKeysButNeverTheRootAndSetCreateValueMakesTheKey) {
  Put(HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", "FontName", REG_SZ, "x");
  PutHere("v", REG_SZ, "x");
  registry.SetValueKey("v");
  EXPECT_TRUE(registry.DeleteValue());
  std::string error;
  EXPECT_FALSE(registry.DeleteValue(&error));
  EXPECT_EQ(error, NotFound);
  EXPECT_TRUE(registry.DeleteKey(&error));
  EXPECT_FALSE(registry.KeyExists());
  registry.SetSectionKey("");
  EXPECT_FALSE(registry.DeleteKey(&error));
  EXPECT_EQ(error, "Unable to delete key: Access is denied.");
  registry.SetSectionKey("Software");
  EXPECT_TRUE(registry.KeyExists());
  registry.SetSectionKey("Software\\Quorvex 6\\Tasks\\7");
  registry.SetValueType(1);
  error = "stale";
  ASSERT_TRUE(registry.SetCreateValue("QXFlatFileConfigs", Variant::String("/data/configs/"), true, &error)) << error;
  EXPECT_EQ(error, "");
  EXPECT_EQ(registry.ValueKey(), "QXFlatFileConfigs");
  EXPECT_EQ(registry.GetValue().StringValue(), "/data/configs/");
  const std::string hive = test::ReadFile(env.RegistryFolder() + "/HKEY_CURRENT_USER.reg");
  EXPECT_NE(hive.find("\\Tasks\\7]\n; everyone\n"), std::string::npos) << hive;
}

TEST_F(clsRegistryTest, CheckSecurityAsksForEveryRightAndEnumerationsStartAtIndexOne) {
  EXPECT_FALSE(registry.CheckSecurity(KEY_READ));  // no key
  ASSERT_TRUE(registry.CreateKey());
  for (REGSAM rights : {KEY_READ, KEY_QUERY_VALUE | KEY_SET_VALUE, KEY_ALL_ACCESS})
    EXPECT_TRUE(registry.CheckSecurity(static_cast<int32_t>(rights))) << rights;
  EXPECT_FALSE(registry.CheckSecurity(static_cast<int32_t>(KEY_READ | 0x00000400)));  // a right keys do not have
  // Values and sections are enumerated from index one.
  ASSERT_TRUE(registry.CreateKey());
  std::vector<std::string> names = {"left", "over"};
  int32_t count = -1;
  EXPECT_TRUE(registry.EnumerateValues(names, count));
  EXPECT_EQ(std::pair(count, names), std::pair(0, std::vector<std::string>{""}));
  PutHere("LocaleId", REG_DWORD, std::string(4, '\0'));
  PutHere("", REG_SZ, "default");
  Put(HKEY_CURRENT_USER, "Software\\Quorvex 6\\Font", "FontName", REG_SZ, "x");
  Put(HKEY_CURRENT_USER, "Software\\Quorvex 6\\Colours", "c", REG_SZ, "x");
  EXPECT_TRUE(registry.EnumerateValues(names, count));
  EXPECT_EQ(std::pair(count, names), std::pair(2, std::vector<std::string>{"", "LocaleId", ""}));
  EXPECT_TRUE(registry.EnumerateSections(names, count));
  EXPECT_EQ(std::pair(count, names), std::pair(2, std::vector<std::string>{"", "Colours", "Font"}));
}

TEST(QXElevateEntry, TrimsKeyAndNameAndKeepsTheRest) {
  QXElevateEntry entry;
  EXPECT_TRUE(entry.Value().IsEmpty());
  entry.SetSectionKey("  Software\\Task  ");
  entry.SetValueName("  QXFlatFileConfigs ");
  entry.SetValue(Variant::String("  /configs/  "));
  EXPECT_EQ((std::vector<std::string_view>{entry.SectionKey(), entry.ValueName(), entry.Value().StringValue()}),
            (std::vector<std::string_view>{"Software\\Task", "QXFlatFileConfigs", "  /configs/  "}));
}

}  // namespace
}  // namespace qx6
