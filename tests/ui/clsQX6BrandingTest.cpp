// The product name from the branding library, its default, and the common
// folder search.
#include "ui/clsQX6Branding.h"

#include <gtest/gtest.h>

#include "platform/ComponentFile.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/ResourceLibraries.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {

class BrandingTest : public ::testing::Test {
 protected:
  BrandingTest() {
    product.MakeFolder("exporters");
    platform::SetComponentFolderForTesting(product / "exporters");
    ResetBrandingForTesting();
    modLanguage::ResetForTesting();
  }
  ~BrandingTest() override {
    ResetBrandingForTesting();
    modLanguage::ResetForTesting();
    platform::SetComponentFolderForTesting("");
  }

  void BuildMark(const test::StringTable& strings) { test::BuildLibrary(product / "common/qxmark.dll", strings); }

  test::ProductFolder product;
};

TEST_F(BrandingTest, ProductNameComesFromTheLibraryOrTheDefault) {
  product.MakeFolder("common");
  const std::pair<test::StringTable, const char*> cases[] = {
      {{}, "Quorvex 6"},                                           // no library
      {{{103, "  Acme Print Manager  "}}, "Acme Print Manager"},  // without outer spaces
      {{{103, "     "}}, "Quorvex 6"},
      {{{102, "Acme"}, {104, "Acme"}}, "Quorvex 6"}};
  for (const auto& [strings, name] : cases) {
    if (!strings.empty()) BuildMark(strings);
    clsQX6Branding branding;
    EXPECT_EQ(branding.IsLoaded(), !strings.empty()) << name;
    EXPECT_EQ(branding.ProductName(), name);
  }
  test::WriteFile(product / "common/qxmark.dll", "MZ and then nothing a module needs");
  EXPECT_FALSE(clsQX6Branding().IsLoaded());
  EXPECT_EQ(clsQX6Branding().ProductName(), "Quorvex 6");
}

TEST_F(BrandingTest, CommonFolderIsFoundUpwardApartFromTheLanguageFolder) {
  product.MakeFolder("A/B/C");
  product.MakeFolder("A/B/lang");
  test::BuildLibrary(product / "A/common/qxmark.dll", {{103, "Upward"}});
  platform::SetComponentFolderForTesting(product / "A/B/C");
  EXPECT_EQ(GetCommonFolder(), product / "A/common");
  EXPECT_EQ(modLanguage::GetLanguageFolder(), product / "A/B/lang");
  EXPECT_EQ(SharedBranding().ProductName(), "Upward");
}

}  // namespace
}  // namespace qx6
