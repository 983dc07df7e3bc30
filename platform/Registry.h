// The registry, in its own terms: the Win32 registry functions over hive
// files in the registry export syntax (one file per root; see
// docs/registry.md). Every function returns a Win32 error code. Names and
// string data are UTF-8; data are bytes, string data with their zero
// terminators. Key paths and value names compare without regard to letter
// case. Safe to call from several threads and several processes at once.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SystemMessage.h"
#include "platform/Win32Types.h"

namespace qx6::platform {

// A key handle: one of the predefined roots, or a key opened by
// RegOpenKeyEx / RegCreateKeyEx, valid until RegCloseKey.
using HKEY = std::uint32_t;
using REGSAM = DWORD;

inline constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
inline constexpr HKEY HKEY_USERS = 0x80000003u;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_DWORD_LITTLE_ENDIAN = 4;
inline constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
inline constexpr DWORD REG_LINK = 6;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_RESOURCE_LIST = 8;
inline constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr DWORD REG_QWORD = 11;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE = 0x00010000;
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM WRITE_OWNER = 0x00080000;
inline constexpr REGSAM SYNCHRONIZE = 0x00100000;
inline constexpr REGSAM STANDARD_RIGHTS_REQUIRED = 0x000F0000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_EXECUTE = KEY_READ;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;
inline constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
inline constexpr REGSAM GENERIC_ALL = 0x10000000;
inline constexpr REGSAM GENERIC_EXECUTE = 0x20000000;
inline constexpr REGSAM GENERIC_WRITE = 0x40000000;
inline constexpr REGSAM GENERIC_READ = 0x80000000;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_OPTION_VOLATILE = 1;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Security for a new key. The hive files can only express "default" and
// "full access for everyone" (a present, null access list).
struct ACL;
inline constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
struct SECURITY_DESCRIPTOR {
  BYTE revision = 0;
  bool daclPresent = false;
  const ACL* dacl = nullptr;
};
struct SECURITY_ATTRIBUTES {
  DWORD nLength = sizeof(SECURITY_ATTRIBUTES);
  SECURITY_DESCRIPTOR* lpSecurityDescriptor = nullptr;
  bool bInheritHandle = false;
};
bool InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision);
// Only a null access list (or none) can be stored; any other fails.
bool SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, bool daclPresent, const ACL* dacl,
                               bool daclDefaulted);

// Sub-key paths use backslashes between levels; an empty path names `key`
// itself; a leading backslash or an empty level is ERROR_BAD_PATHNAME.
LONG RegOpenKeyEx(HKEY key, std::string_view subKey, DWORD options, REGSAM samDesired, HKEY* result);
// Creates the missing levels. `security` with a null access list marks the
// keys it creates for everyone's access. A key more than MaxKeyDepth (512)
// levels below its hive's root is refused with ERROR_BADKEY, as a key name
// the registry cannot hold is. Volatile keys are not supported
// (ERROR_INVALID_PARAMETER). `className` is accepted and not stored.
LONG RegCreateKeyEx(HKEY key, std::string_view subKey, DWORD reserved, std::string_view className, DWORD options,
                    REGSAM samDesired, const SECURITY_ATTRIBUTES* security, HKEY* result,
                    DWORD* disposition = nullptr);
LONG RegCloseKey(HKEY key);
// Makes a predefined key (HKEY_CLASSES_ROOT, say) stand for `newKey` in
// this whole process until it is called again with a `newKey` of 0, as a
// per-user registration does with HKEY_CURRENT_USER\Software\Classes.
// `newKey` may be closed afterwards.
LONG RegOverridePredefKey(HKEY key, HKEY newKey);

// With `data` null and `cbData` set: the size only. With a buffer smaller
// than the value: ERROR_MORE_DATA and the size needed in `*cbData`.
LONG RegQueryValueEx(HKEY key, std::string_view valueName, DWORD* type, BYTE* data, DWORD* cbData);
// String types must be UTF-8; REG_SZ and REG_EXPAND_SZ get their zero
// terminator when the data lack it.
LONG RegSetValueEx(HKEY key, std::string_view valueName, DWORD reserved, DWORD type, const BYTE* data,
                   DWORD cbData);
LONG RegDeleteValue(HKEY key, std::string_view valueName);
// Deletes `subKey` with everything below it; with an empty `subKey`, the
// values and subkeys of `key` (the key itself stays).
LONG RegDeleteTree(HKEY key, std::string_view subKey);

// Values in the order they were created, subkeys in name order; an index
// past the end is ERROR_NO_MORE_ITEMS. `data` / `cbData` as RegQueryValueEx.
LONG RegEnumValue(HKEY key, DWORD index, std::string* valueName, DWORD* type = nullptr, BYTE* data = nullptr,
                  DWORD* cbData = nullptr);
LONG RegEnumKeyEx(HKEY key, DWORD index, std::string* name);
// Name lengths in characters without the terminator, data length in bytes.
LONG RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* maxSubKeyLength, DWORD* values,
                     DWORD* maxValueNameLength, DWORD* maxValueLength);

// The detail of the calling thread's last registry failure that has more to
// say than its code: for a damaged hive "<path>, line N: <what is wrong>",
// for a hive (or its folder or lock file) that cannot be read or written
// "<path>: <the system's words for the error>"; empty when there is none.
// Every Reg* function except RegCloseKey clears it when it starts, so after
// a call that succeeded it is empty; a transaction's Commit clears and sets
// it the same way.
std::string RegistryFailureDetail();

// The access rights the calling user holds on the key, as an access check
// for MAXIMUM_ALLOWED answers it: the read rights when the hive can be read,
// the write rights too when it can be written.
LONG RegGetKeyAccess(HKEY key, REGSAM* granted);

}  // namespace qx6::platform
