// One registry hive in memory, and its file form: the registry export syntax
// ("Windows Registry Editor Version 5.00", [key] lines, "name"=value lines),
// UTF-8 encoded. Key and value names compare without regard to letter case
// and keep the case they were created with.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qx6::platform {

// String-type data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) are UTF-8 bytes
// with their zero terminators; every other type is its raw bytes.
struct RegistryValue {
  std::string name;
  uint32_t type = 0;
  std::string data;
};

class RegistryKeyNode {
 public:
  explicit RegistryKeyNode(std::string name);
  // Frees the subtree without recursion, however deep it is.
  ~RegistryKeyNode();
  RegistryKeyNode(const RegistryKeyNode&) = delete;
  RegistryKeyNode& operator=(const RegistryKeyNode&) = delete;

  const std::string& Name() const noexcept { return name_; }
  const std::string& FoldedName() const noexcept { return folded_; }
  // Created with a null access list: full access for everyone.
  bool Everyone() const noexcept { return everyone_; }
  void SetEveryone(bool everyone) noexcept { everyone_ = everyone; }

  // Values in the order they were created.
  const std::vector<RegistryValue>& Values() const noexcept { return values_; }
  const RegistryValue* FindValue(std::string_view name) const;
  // False when the value was already exactly so.
  bool SetValue(std::string_view name, uint32_t type, std::string data);
  bool DeleteValue(std::string_view name);

  // Subkeys in case-insensitive name order.
  size_t SubkeyCount() const noexcept { return subkeys_.size(); }
  const RegistryKeyNode& SubkeyAt(size_t index) const { return *subkeys_[index]; }
  const RegistryKeyNode* FindSubkey(std::string_view name) const;
  RegistryKeyNode* FindSubkey(std::string_view name);
  // The existing subkey of that name, else a new one; `created` tells which.
  RegistryKeyNode& AddSubkey(std::string_view name, bool* created = nullptr);
  bool RemoveSubkey(std::string_view name);
  // Removes every value and subkey.
  void Clear();

 private:
  size_t LowerBound(const std::string& folded) const;

  std::string name_;
  std::string folded_;
  bool everyone_ = false;
  std::vector<RegistryValue> values_;
  std::vector<std::string> valueFolded_;
  std::vector<std::unique_ptr<RegistryKeyNode>> subkeys_;
};

using KeyPath = std::vector<std::string>;

class RegistryHive {
 public:
  // `rootName` is the full name of the hive's root ("HKEY_CURRENT_USER").
  explicit RegistryHive(std::string rootName);

  const std::string& RootName() const noexcept { return root_.Name(); }
  RegistryKeyNode& Root() noexcept { return root_; }
  const RegistryKeyNode& Root() const noexcept { return root_; }
  const RegistryKeyNode* Find(const KeyPath& path) const;
  RegistryKeyNode* Find(const KeyPath& path);
  // True when any key is marked for everyone's access.
  bool AnyEveryone() const;

  // Null when the text is not a valid hive (a line that is no registry
  // syntax, bad hex, a missing header, a key of another root, a key nested
  // deeper than MaxKeyDepth, text that is not UTF-8); `problem` then says
  // where ("line N: what is wrong"). A UTF-8 or UTF-16LE byte-order mark is
  // accepted; a file of nothing but white space is an empty hive.
  static std::unique_ptr<RegistryHive> Parse(std::string_view bytes, std::string rootName,
                                             std::string* problem = nullptr);
  std::string Serialize() const;

 private:
  RegistryKeyNode root_;
};

// Key-name rules shared by the file syntax and the registry functions.
inline constexpr size_t MaxKeyNameLength = 255;      // characters
inline constexpr size_t MaxValueNameLength = 16383;  // characters
// How many levels of keys may lie below a root; the root's own subkeys are
// level 1. Also what keeps every walk over a hive's tree shallow.
inline constexpr size_t MaxKeyDepth = 512;
size_t CharacterCount(std::string_view utf8) noexcept;
bool IsValidUtf8(std::string_view bytes) noexcept;
// A key name a hive can hold: not empty, no backslash, no control
// character, at most MaxKeyNameLength characters, UTF-8.
bool IsValidKeyName(std::string_view name) noexcept;
// A value name a hive can hold: no line break or zero, UTF-8, at most
// MaxValueNameLength characters (the empty name is the unnamed value).
bool IsValidValueName(std::string_view name) noexcept;

}  // namespace qx6::platform
