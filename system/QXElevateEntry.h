// One registry value that the host is asked to write on the exporter's
// behalf, such as the configuration folder of a scheduled run.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/Variant.h"

namespace qx6 {

class QXElevateEntry {
 public:
  // Trimmed of leading and trailing spaces.
  const std::string& SectionKey() const noexcept { return mstrSectionKey; }
  void SetSectionKey(const std::string& value);
  // Trimmed of leading and trailing spaces.
  const std::string& ValueName() const noexcept { return mstrValueName; }
  void SetValueName(const std::string& value);
  const Variant& Value() const noexcept { return mvntValue; }
  void SetValue(const Variant& value) { mvntValue = value; }
  // A registry value type (1 REG_SZ, 4 REG_DWORD, ...).
  int32_t ValueType() const noexcept { return mlngValueType; }
  void SetValueType(int32_t value) noexcept { mlngValueType = value; }

 private:
  std::string mstrSectionKey;
  std::string mstrValueName;
  Variant mvntValue;
  int32_t mlngValueType = 0;
};

}  // namespace qx6
