// The staged language and branding libraries: every string ID the component
// uses is there with its placeholders. That a script's texts read back
// unchanged is the resource compiler's test.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>

#include "platform/ResourceModule.h"
#include "tests/support/TestEnvironment.h"

namespace qx6::test {
namespace {

using platform::ResourceModule;

const std::string kEnglishModule = std::string(QX6_PRODUCT_DIR) + "/lang/1033/qx6jefltLangRes.dll";
const std::string kBrandingModule = std::string(QX6_PRODUCT_DIR) + "/common/qxmark.dll";

size_t CountPlaceholders(const std::string& s) {
  size_t n = 0;
  for (size_t p = s.find("%s"); p != std::string::npos; p = s.find("%s", p + 2)) ++n;
  return n;
}

// Every ID that the component fetches, with the number of "%s" it fills.
std::map<uint32_t, size_t> Catalogue() {
  std::map<uint32_t, size_t> ids;
  for (const auto& [first, last] : {std::pair{2u, 64u}, {100u, 105u}, {301u, 314u}})
    for (uint32_t id = first; id <= last; ++id) ids[id] = 0;
  for (uint32_t unused : {34u, 40u}) ids.erase(unused);
  ids[35] = ids[47] = 1;
  ids[200] = ids[201] = ids[312] = ids[314] = 2;
  ids[313] = 3;
  return ids;
}

class LanguageLibrary : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(module) << kEnglishModule; }
  std::shared_ptr<const ResourceModule> module = ResourceModule::Load(kEnglishModule);
};

TEST_F(LanguageLibrary, HoldsEveryCatalogueIdWithItsPlaceholdersFiltersEndingInAllFilesAndTheBrand) {
  for (const auto& [id, placeholders] : Catalogue()) {
    auto text = module->LoadString(id);
    ASSERT_TRUE(text) << "string " << id << " is missing";
    EXPECT_EQ(CountPlaceholders(*text), placeholders) << "string " << id << ": " << *text;
    EXPECT_LE(text->size(), 511u) << "string " << id;  // the component reads at most 511 characters
  }
  // description|pattern pairs, every pattern "*." something, the last "*.*".
  static const std::regex filter(R"re(^([^|]+\|\*\.[^|]+\|)*[^|]+\|\*\.\*$)re");
  for (uint32_t id : {44u, 310u}) {
    const std::string text = module->LoadString(id).value_or("");
    EXPECT_TRUE(std::regex_match(text, filter)) << id << ": " << text;
  }
  // The branding library names the product.
  auto branding = ResourceModule::Load(kBrandingModule);
  EXPECT_EQ(branding ? branding->LoadString(103) : "(no module)", "Quorvex 6") << kBrandingModule;
}

}  // namespace
}  // namespace qx6::test
