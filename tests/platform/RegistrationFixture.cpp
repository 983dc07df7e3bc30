// A component library whose DllRegisterServer writes several keys and then
// fails when QX6_TEST_REGISTRATION_FAILS is set, as a registration that
// breaks off midway would.
#include <cstdlib>
#include <string>

#include "platform/Registry.h"
#include "runtime/Object.h"

using namespace qx6;
using namespace qx6::platform;

namespace {

LONG Write(const std::string& path, const std::string& text) {
  HKEY key = 0;
  LONG status = RegCreateKeyEx(HKEY_CLASSES_ROOT, path, 0, "", 0, KEY_WRITE, nullptr, &key);
  if (status != 0) return status;
  status = RegSetValueEx(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                         static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return status;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  if (Write("Fixture.Class", "first") != 0 || Write("Fixture.Class\\CLSID", "second") != 0) return E_FAIL;
  if (std::getenv("QX6_TEST_REGISTRATION_FAILS")) return E_FAIL;
  return Write("Fixture.Other", "third") == 0 ? S_OK : E_FAIL;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  RegDeleteTree(HKEY_CLASSES_ROOT, "Fixture.Class");
  RegDeleteTree(HKEY_CLASSES_ROOT, "Fixture.Other");
  return std::getenv("QX6_TEST_REGISTRATION_FAILS") ? E_FAIL : S_OK;
}
