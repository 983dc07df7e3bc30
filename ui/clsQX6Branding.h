// The product name and other branding texts, read from the shared branding
// library "common/qxmark.dll" so that a re-branded installation changes them
// without rebuilding the component.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ResourceModule.h"

namespace qx6 {

class clsQX6Branding {
 public:
  // Loads the branding library from the "common" folder.
  clsQX6Branding();

  // String 103, else "Quorvex 6".
  std::string ProductName() const;

  bool IsLoaded() const noexcept { return library_ != nullptr; }

 private:
  // The library's text for `id` without outer spaces, else `defaultText`.
  std::string Lookup(uint32_t id, std::string_view defaultText) const;

  std::shared_ptr<const platform::ResourceModule> library_;
};

// The "common" folder found upward from the component's folder; cached per
// thread.
std::string GetCommonFolder();

// The thread's shared branding object (created on first use when start-up
// has not created it).
clsQX6Branding& SharedBranding();
void SetSharedBranding(std::shared_ptr<clsQX6Branding> branding);
void ResetBrandingForTesting();

}  // namespace qx6
