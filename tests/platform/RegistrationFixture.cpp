// A component library whose DllRegisterServer writes several keys and then
// fails when QX6_TEST_REGISTRATION_FAILS is set, as a registration that
// breaks off midway would.
#include <cstdlib>
#include <string>

#include "runtime/Object.h"
#include "tests/platform/RegistryValues.h"

using namespace qx6;
using namespace qx6::test;

static LONG Write(const std::string& path, const std::string& text) {
  return PutText(HKEY_CLASSES_ROOT, path, "", text);
}

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
