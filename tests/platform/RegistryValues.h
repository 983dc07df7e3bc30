// Small reads and writes of registry values, for the registry tests and the
// processes and libraries they start.
#pragma once

#include <string>

#include "platform/Registry.h"

namespace qx6::test {

using namespace qx6::platform;

// A literal with its embedded zeros, without the terminating one.
template <size_t N>
std::string Lit(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// Creates the key and sets one value in it: the first code that is not success.
inline LONG Put(HKEY root, std::string_view path, std::string_view name, DWORD type, const std::string& data) {
  HKEY key = 0;
  LONG status = RegCreateKeyEx(root, path, 0, "", 0, KEY_ALL_ACCESS, nullptr, &key);
  if (status != 0) return status;
  status = RegSetValueEx(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                         static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return status;
}
inline LONG PutText(HKEY root, std::string_view path, std::string_view name, const std::string& text) {
  return Put(root, path, name, REG_SZ, text + '\0');
}

// The value's type and bytes, or the error of opening or reading.
struct Read {
  LONG status = 0;
  DWORD type = 0;
  std::string data;
};
inline Read Query(HKEY root, std::string_view path, std::string_view name) {
  Read r;
  HKEY key = 0;
  r.status = RegOpenKeyEx(root, path, 0, KEY_READ, &key);
  if (r.status) return r;
  DWORD size = 0;
  r.status = RegQueryValueEx(key, name, &r.type, nullptr, &size);
  if (r.status == 0) {
    r.data.resize(size);
    r.status = RegQueryValueEx(key, name, &r.type, reinterpret_cast<BYTE*>(r.data.data()), &size);
  }
  RegCloseKey(key);
  return r;
}
// A REG_SZ value without its zero, or "error N".
inline std::string GetText(HKEY root, std::string_view path, std::string_view name) {
  Read r = Query(root, path, name);
  if (r.status != 0) return "error " + std::to_string(r.status);
  while (!r.data.empty() && r.data.back() == '\0') r.data.pop_back();
  return r.data;
}

}  // namespace qx6::test
