#include "ui/clsQX6Branding.h"

#include "platform/ComponentFile.h"
#include "runtime/CodePage.h"
#include "runtime/Strings.h"

namespace qx6 {
namespace {
thread_local std::string commonFolder;
thread_local std::shared_ptr<clsQX6Branding> sharedBranding;
}  // namespace

std::string GetCommonFolder() {
  if (commonFolder.empty()) commonFolder = platform::FindFolderUpward("common");
  return commonFolder;
}

clsQX6Branding::clsQX6Branding() : library_(platform::ResourceModule::Load(GetCommonFolder() + "/qxmark.dll")) {}

std::string clsQX6Branding::Lookup(uint32_t id, std::string_view defaultText) const {
  std::string text;
  if (library_) {
    if (auto found = library_->LoadString(id)) {
      const std::string held = CodePage::ThroughAnsi(Strings::Left(*found, 511));
      text = Strings::Trim(held);
    }
  }
  return text.empty() ? std::string(defaultText) : text;
}

std::string clsQX6Branding::ProductName() const { return Lookup(103, "Quorvex 6"); }

clsQX6Branding& SharedBranding() {
  if (!sharedBranding) sharedBranding = std::make_shared<clsQX6Branding>();
  return *sharedBranding;
}

void SetSharedBranding(std::shared_ptr<clsQX6Branding> branding) { sharedBranding = std::move(branding); }

void ResetBrandingForTesting() {
  commonFolder.clear();
  sharedBranding.reset();
}

}  // namespace qx6
