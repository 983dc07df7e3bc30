#include "system/clsRegistry.h"

#include <optional>

#include "platform/Environment.h"
#include "platform/Registry.h"
#include "runtime/Conversion.h"
#include "runtime/Strings.h"

namespace qx6 {

namespace {

using platform::DWORD;
using platform::HKEY;
using platform::LONG;

// Names and texts are UTF-8 throughout, and so are the hive files, so the
// ANSI conversion of the Windows registry functions has no counterpart.

// The system's message for a code as the error texts carry it.
std::string SystemText(LONG code) {
  std::optional<std::string> message = platform::FormatSystemMessage(static_cast<DWORD>(code));
  if (!message) return "Unknown error code " + std::to_string(static_cast<DWORD>(code));
  std::string text = message->substr(0, 1024);
  for (char& c : text)
    if (c == '\0') c = ' ';
  return std::string(Strings::Trim(text));
}

HKEY RootKey(int32_t classKey) { return static_cast<HKEY>(static_cast<uint32_t>(classKey)); }

void SetError(std::string* pstrError, std::string text) {
  if (pstrError) *pstrError = std::move(text);
}

// Closes the key on every way out, including a conversion error.
class OpenedKey {
 public:
  OpenedKey() = default;
  ~OpenedKey() {
    if (handle) platform::RegCloseKey(handle);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  HKEY handle = 0;
};

// A "%" followed, at least two places further on, by another.
bool HoldsEnvironmentReference(const std::string& text) {
  size_t first = text.find('%');
  return first != std::string::npos && text.find('%', first + 2) != std::string::npos;
}

bool ByteArrayBytes(const Variant& value, std::string& bytes) {
  if (!value.IsArray()) return false;
  VariantArray array = value.ArrayValue();
  if (array.Dimensions() != 1) return false;
  for (int32_t i = array.LowerBound(1); i <= array.UpperBound(1); ++i) {
    const Variant& element = array.At(i);
    if (element.Type() != VarType::Byte) return false;
    bytes += static_cast<char>(element.ByteValue());
  }
  return true;
}

const char* const InvalidValueText = "Could not set value. Invalid value for set type.";

}  // namespace

clsRegistry::clsRegistry() : mvntDefault(Variant::Null()) {}

bool clsRegistry::CheckSecurity(int32_t plngDesiredAccess) {
  if (!mblnIsWinNT) return true;
  OpenedKey key;
  if (platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_READ, &key.handle) != 0)
    return false;
  // The access check of the key's security for the calling user.
  platform::REGSAM granted = 0;
  if (platform::RegGetKeyAccess(key.handle, &granted) != 0) return false;
  const auto desired = static_cast<platform::REGSAM>(plngDesiredAccess);
  return (granted & desired) == desired;
}

bool clsRegistry::KeyExists(std::string* pstrError) {
  OpenedKey key;
  LONG status = platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_QUERY_VALUE, &key.handle);
  if (status == 0) {
    SetError(pstrError, "");
    return true;
  }
  SetError(pstrError, SystemText(status));
  return false;
}

bool clsRegistry::CreateKey(bool pblnEveryoneAccess, std::string* pstrError) {
  SetError(pstrError, "");
  platform::SECURITY_DESCRIPTOR descriptor;
  platform::SECURITY_ATTRIBUTES attributes;
  const platform::SECURITY_ATTRIBUTES* security = nullptr;
  if (pblnEveryoneAccess) {
    if (!platform::InitializeSecurityDescriptor(&descriptor, platform::SECURITY_DESCRIPTOR_REVISION) ||
        !platform::SetSecurityDescriptorDacl(&descriptor, true, nullptr, false)) {
      SetError(pstrError, "Unable to CreateKey. Problem creating security descriptor.");
      return false;
    }
    attributes.lpSecurityDescriptor = &descriptor;
    attributes.bInheritHandle = false;
    security = &attributes;
  }
  OpenedKey key;
  DWORD disposition = 0;
  LONG status = platform::RegCreateKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, "", platform::REG_OPTION_NON_VOLATILE,
                                         platform::KEY_WRITE, security, &key.handle, &disposition);
  if (status != 0) {
    SetError(pstrError, "Unable to create key: " + SystemText(status));
    return false;
  }
  return true;
}

bool clsRegistry::DeleteKey(std::string* pstrError) {
  OpenedKey key;
  LONG status = platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_ALL_ACCESS, &key.handle);
  if (status == 0) {
    // An empty path names the root itself, which cannot be deleted.
    if (mstrSectionKey.empty()) status = platform::ERROR_ACCESS_DENIED;
    else status = platform::RegDeleteTree(RootKey(mlngClassKey), mstrSectionKey);
  }
  if (status != 0) {
    SetError(pstrError, "Unable to delete key: " + SystemText(status));
    return false;
  }
  return true;
}

bool clsRegistry::DeleteValue(std::string* pstrError) {
  OpenedKey key;
  LONG status = platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_WRITE, &key.handle);
  if (status == 0) status = platform::RegDeleteValue(key.handle, mstrValueKey);
  if (status != 0) {
    SetError(pstrError, SystemText(status));
    return false;
  }
  return true;
}

Variant clsRegistry::GetValue(std::string* pstrError) {
  Variant result = Variant::Null();
  OpenedKey key;
  LONG status = platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_QUERY_VALUE, &key.handle);
  if (status != 0) {
    SetError(pstrError, "Error retrieving value: " + SystemText(status));
    return result;
  }
  DWORD type = 0;
  DWORD size = 0;
  status = platform::RegQueryValueEx(key.handle, mstrValueKey, &type, nullptr, &size);
  if (status != 0 && status != platform::ERROR_MORE_DATA) {
    SetError(pstrError, "Error retrieving value: " + SystemText(status));
    return mvntDefault;
  }
  mlngValueType = static_cast<int32_t>(type);
  std::string buffer(size, '\0');
  DWORD length = size;
  auto read = [&] {
    return platform::RegQueryValueEx(key.handle, mstrValueKey, &type, reinterpret_cast<platform::BYTE*>(buffer.data()),
                                     &length);
  };
  switch (type) {
    case platform::REG_SZ:
    case platform::REG_MULTI_SZ:
      status = read();
      if (status == 0) {
        buffer.resize(length);
        std::string joined;
        for (char c : buffer)
          if (c != '\0') joined += c;
        result = Variant::String(Strings::Trim(joined));
      }
      break;
    case platform::REG_EXPAND_SZ:
      status = read();
      if (status == 0) {
        buffer.resize(length);
        result = Variant::String(platform::ExpandEnvironmentStrings(buffer.substr(0, buffer.find('\0'))));
      }
      break;
    case platform::REG_DWORD:
    case platform::REG_DWORD_BIG_ENDIAN: {
      platform::BYTE bytes[4] = {0, 0, 0, 0};
      length = sizeof bytes;
      status = platform::RegQueryValueEx(key.handle, mstrValueKey, &type, bytes, &length);
      if (status == 0) {
        if (type == platform::REG_DWORD_BIG_ENDIAN) std::swap(bytes[0], bytes[3]), std::swap(bytes[1], bytes[2]);
        uint32_t number = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
        result = Variant::Long(static_cast<int32_t>(number));
      }
      break;
    }
    default:
      status = read();
      if (status == 0) result = Variant::ByteArray(std::string_view(buffer).substr(0, length));
      break;
  }
  if (status != 0) SetError(pstrError, "Error retrieving value: " + SystemText(status));
  return result;
}

Variant clsRegistry::GetValueOrDefault(const std::string& pstrKey, const Variant& pvntDefaultValue,
                                       std::string* pstrError) {
  mstrValueKey = pstrKey;
  Variant result = GetValue(pstrError);
  return result.IsNull() ? pvntDefaultValue : result;
}

bool clsRegistry::SetCreateValue(const std::string& pstrValueKey, const Variant& pvntValue, bool pblnEveryoneAccess,
                                 std::string* pstrError) {
  mstrValueKey = pstrValueKey;
  std::string error;
  if (!KeyExists(&error)) {
    if (!CreateKey(pblnEveryoneAccess, &error)) {
      SetError(pstrError, error);
      return false;
    }
  }
  if (!KeyExists(&error)) {
    SetError(pstrError, error);
    return false;
  }
  return SetValue(pvntValue, pstrError);
}

bool clsRegistry::SetValue(const Variant& vvntValue, std::string* pstrError) {
  SetError(pstrError, "");
  std::string error;
  LONG written = 0;
  {
    OpenedKey key;
    LONG status = platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_WRITE, &key.handle);
    if (status != 0) {
      SetError(pstrError, "Unable to set value: " + SystemText(status));
      return false;
    }
    switch (mlngValueType) {
      case platform::REG_SZ:
      case platform::REG_EXPAND_SZ: {
        const std::string text = Convert::ToText(vvntValue);
        const DWORD type = HoldsEnvironmentReference(text) ? platform::REG_EXPAND_SZ : platform::REG_SZ;
        const std::string data = text + '\0';
        // The NT family takes the length without the terminating zero.
        written = platform::RegSetValueEx(key.handle, mstrValueKey, 0, type,
                                          reinterpret_cast<const platform::BYTE*>(data.data()),
                                          static_cast<DWORD>(text.size()));
        break;
      }
      case platform::REG_BINARY: {
        std::string bytes;
        if (!ByteArrayBytes(vvntValue, bytes)) {
          error = InvalidValueText;
          break;
        }
        written = platform::RegSetValueEx(key.handle, mstrValueKey, 0, platform::REG_BINARY,
                                          reinterpret_cast<const platform::BYTE*>(bytes.data()),
                                          static_cast<DWORD>(bytes.size()));
        break;
      }
      case platform::REG_DWORD:
      case platform::REG_DWORD_BIG_ENDIAN: {
        int32_t number;
        if (vvntValue.Type() == VarType::Integer) number = vvntValue.IntegerValue();
        else if (vvntValue.Type() == VarType::Long) number = vvntValue.LongValue();
        else {
          error = InvalidValueText;
          break;
        }
        const auto bits = static_cast<uint32_t>(number);
        const platform::BYTE bytes[4] = {static_cast<platform::BYTE>(bits), static_cast<platform::BYTE>(bits >> 8),
                                         static_cast<platform::BYTE>(bits >> 16), static_cast<platform::BYTE>(bits >> 24)};
        written = platform::RegSetValueEx(key.handle, mstrValueKey, 0, platform::REG_DWORD, bytes, sizeof bytes);
        break;
      }
      default: error = "Could not set value. Unknown value type."; break;
    }
  }
  if (written != 0) error = "Unable to set value: " + SystemText(written);
  SetError(pstrError, error);
  if (!error.empty()) return false;
  mvntLastValue = vvntValue;
  return true;
}

bool clsRegistry::EnumerateValues(std::vector<std::string>& names, int32_t& count, std::string* pstrError) {
  names.assign(1, std::string());
  count = 0;
  OpenedKey key;
  LONG status = platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_QUERY_VALUE, &key.handle);
  DWORD longest = 0;
  if (status == 0) status = platform::RegQueryInfoKey(key.handle, nullptr, nullptr, nullptr, &longest, nullptr);
  for (DWORD index = 0; status == 0; ++index) {
    std::string name;
    name.reserve(longest + 1);
    status = platform::RegEnumValue(key.handle, index, &name);
    if (status != 0) break;
    names.push_back(std::move(name));
    ++count;
  }
  if (status == platform::ERROR_NO_MORE_ITEMS) status = 0;
  if (status != 0) {
    SetError(pstrError, "Unable to enumerate values: " + SystemText(status));
    return false;
  }
  return true;
}

bool clsRegistry::EnumerateSections(std::vector<std::string>& names, int32_t& count, std::string* pstrError) {
  names.assign(1, std::string());
  count = 0;
  OpenedKey key;
  LONG status =
      platform::RegOpenKeyEx(RootKey(mlngClassKey), mstrSectionKey, 0, platform::KEY_ENUMERATE_SUB_KEYS, &key.handle);
  for (DWORD index = 0; status == 0; ++index) {
    std::string name;
    status = platform::RegEnumKeyEx(key.handle, index, &name);
    if (status != 0) break;
    names.push_back(name.substr(0, name.find('\0')));
    ++count;
  }
  if (status == platform::ERROR_NO_MORE_ITEMS) status = 0;
  if (status != 0) {
    SetError(pstrError, "Unable to enumerate sections: " + SystemText(status));
    return false;
  }
  return true;
}

}  // namespace qx6
