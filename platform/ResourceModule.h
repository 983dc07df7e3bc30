// Resource-only modules (the language and branding libraries): a PE file
// loaded as data, whose string table is read by ID as LoadString reads it.
// The file is mapped and every offset is checked: a damaged file is a
// missing module or a missing string, never a crash.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qx6::platform {

class ResourceModule {
 public:
  // Null when the file is missing, unreadable or not a valid module.
  static std::shared_ptr<const ResourceModule> Load(const std::string& path);
  ~ResourceModule();
  ResourceModule(const ResourceModule&) = delete;
  ResourceModule& operator=(const ResourceModule&) = delete;

  // The string with that ID (block ID / 16 + 1, entry ID % 16, the first
  // language of that block), converted from UTF-16 to UTF-8. Empty optional
  // when the module has no such string or the entry is damaged; a present
  // string of length 0 also gives an empty optional, as LoadString returns 0.
  std::optional<std::string> LoadString(uint32_t id) const;

  const std::string& Path() const noexcept;

 private:
  struct Impl;
  explicit ResourceModule(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace qx6::platform
