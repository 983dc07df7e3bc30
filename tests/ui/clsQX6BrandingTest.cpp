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
  const std::pair<test::StringTable, const char*> cases[] = {
      {{{103, "  Acme Print Manager  "}}, "Acme Print Manager"},  // without outer spaces
      {{{103, "     "}}, "Quorvex 6"},
      {{{102, "Acme"}, {104, "Acme"}}, "Quorvex 6"}};
  for (const auto& [strings, name] : cases) {
    BuildMark(strings);
    clsQX6Branding branding;
    EXPECT_TRUE(branding.IsLoaded()) << name;
    EXPECT_EQ(branding.ProductName(), name);
  }
}

TEST_F(BrandingTest, MissingOrDamagedLibraryGivesTheDefault) {
  product.MakeFolder("common");
  for (const bool damaged : {false, true}) {
    if (damaged) test::WriteFile(product / "common/qxmark.dll", "MZ and then nothing a module needs");
    clsQX6Branding branding;
    EXPECT_FALSE(branding.IsLoaded()) << damaged;
    EXPECT_EQ(branding.ProductName(), "Quorvex 6");
  }
}

TEST_F(BrandingTest, CommonFolderIsFoundUpwardApartFromTheLanguageFolder) {
  product.MakeFolder("A/B/C");
  product.MakeFolder("A/B/lang");
  test::BuildLibrary(product / "A/common/qxmark.dll", {{103, "Upward"}});
  platform::SetComponentFolderForTesting(product / "A/B/C");
  EXPECT_EQ(GetCommonFolder(), product / "A/common");
  EXPECT_EQ(modLanguage::GetLanguageFolder(), product / "A/B/lang");
  EXPECT_EQ(SharedBranding().ProductName(), "Upward");

  // Kept for the thread, like the language folder.
  test::BuildLibrary(product / "A/B/common/qxmark.dll", {{103, "Nearer"}});
  EXPECT_EQ(GetCommonFolder(), product / "A/common");
  EXPECT_EQ(clsQX6Branding().ProductName(), "Upward");
}

TEST_F(BrandingTest, SharedBrandingIsCreatedOnceAndCanBeReplaced) {
  BuildMark({{103, "First"}});
  clsQX6Branding& shared = SharedBranding();
  EXPECT_EQ(&SharedBranding(), &shared);
  EXPECT_EQ(shared.ProductName(), "First");

  BuildMark({{103, "Second"}});
  EXPECT_EQ(SharedBranding().ProductName(), "First");
  SetSharedBranding(std::make_shared<clsQX6Branding>());
  EXPECT_EQ(SharedBranding().ProductName(), "Second");
}

}  // namespace
}  // namespace qx6
