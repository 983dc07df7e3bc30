// The system's one way into the registry: set the root (ClassKey), the key
// path (SectionKey), the value name (ValueKey) and for writing the type
// (ValueType), then call one operation. Each operation opens the key, does
// its work and closes it again. Registry failures never throw: they come
// back as False or Null with a text in the optional `pstrError`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Variant.h"

namespace qx6 {

class clsRegistry {
 public:
  clsRegistry();

  // Does the calling user hold every right of the mask on the key?
  bool CheckSecurity(int32_t plngDesiredAccess);
  // On failure `pstrError` is the bare system text; on success empty.
  bool KeyExists(std::string* pstrError = nullptr);
  bool CreateKey(bool pblnEveryoneAccess = false, std::string* pstrError = nullptr);
  // Deletes the key with everything below it.
  bool DeleteKey(std::string* pstrError = nullptr);
  bool DeleteValue(std::string* pstrError = nullptr);
  // Null when the key cannot be opened, Default when the value cannot be
  // read. Strings come back without zeros and outer spaces (the strings of
  // a list run together), expandable strings expanded, numbers as Long,
  // other types as a byte array.
  Variant GetValue(std::string* pstrError = nullptr);
  // GetValue of `pstrKey`, with `pvntDefaultValue` for a Null result.
  Variant GetValueOrDefault(const std::string& pstrKey, const Variant& pvntDefaultValue,
                            std::string* pstrError = nullptr);
  bool SetCreateValue(const std::string& pstrValueKey, const Variant& pvntValue, bool pblnEveryoneAccess = false,
                      std::string* pstrError = nullptr);
  // Types 1 and 2 convert the value to text (raising the conversion error
  // for Null or an object); a text with a "%" and another "%" at least two
  // places further on is written as REG_EXPAND_SZ, any other as REG_SZ.
  bool SetValue(const Variant& vvntValue, std::string* pstrError = nullptr);
  // `names` is filled from index 1 (index 0 is an unused empty text), so
  // names.size() is always count + 1.
  bool EnumerateValues(std::vector<std::string>& names, int32_t& count, std::string* pstrError = nullptr);
  bool EnumerateSections(std::vector<std::string>& names, int32_t& count, std::string* pstrError = nullptr);

  int32_t ValueType() const noexcept { return mlngValueType; }
  void SetValueType(int32_t value) noexcept { mlngValueType = value; }
  // A predefined root's handle value, HKEY_CURRENT_USER and so on.
  int32_t ClassKey() const noexcept { return mlngClassKey; }
  void SetClassKey(int32_t value) noexcept { mlngClassKey = value; }
  // Levels separated by backslashes.
  const std::string& SectionKey() const noexcept { return mstrSectionKey; }
  void SetSectionKey(const std::string& value) { mstrSectionKey = value; }
  const std::string& ValueKey() const noexcept { return mstrValueKey; }
  void SetValueKey(const std::string& value) { mstrValueKey = value; }
  const Variant& Default() const noexcept { return mvntDefault; }
  void SetDefault(const Variant& value) { mvntDefault = value; }

 private:
  int32_t mlngValueType = 0;
  int32_t mlngClassKey = 0;
  std::string mstrSectionKey;
  std::string mstrValueKey;
  Variant mvntDefault;
  // This platform is always of the NT family (version 5 or later), so the
  // older family's branches, and the flag for the version, are gone.
  bool mblnIsWinNT = true;
  Variant mvntLastValue;  // kept, never read
};

}  // namespace qx6
