// A second process for the registry tests: it reads what another process
// has committed, or makes many changes in one transaction, so that crash
// tests can stop it (QX6_CRASH_AT) in the middle of its commit.
//
//   qx6registry_helper read ROOT KEY NAME    prints the REG_SZ value, or "error N"
//   qx6registry_helper transaction COUNT     sets COUNT values under Software\Tx
//                                            of HKCU and of HKLM, commits, prints
//                                            the commit's code
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Registry.h"
#include "platform/RegistryTransaction.h"

using namespace qx6::platform;

namespace {

HKEY RootNamed(const std::string& name) {
  if (name == "HKCU") return HKEY_CURRENT_USER;
  if (name == "HKLM") return HKEY_LOCAL_MACHINE;
  return HKEY_CLASSES_ROOT;
}

int Read(const std::string& root, const std::string& path, const std::string& name) {
  HKEY key = 0;
  LONG status = RegOpenKeyEx(RootNamed(root), path, 0, KEY_READ, &key);
  std::string data(4096, '\0');
  DWORD size = static_cast<DWORD>(data.size());
  if (status == 0) status = RegQueryValueEx(key, name, nullptr, reinterpret_cast<BYTE*>(data.data()), &size);
  if (status != 0) {
    std::printf("error %d\n", static_cast<int>(status));
    return 0;
  }
  RegCloseKey(key);
  data.resize(size);
  while (!data.empty() && data.back() == '\0') data.pop_back();
  std::printf("%s\n", data.c_str());
  return 0;
}

int Transaction(int count) {
  RegistryTransaction transaction;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    HKEY key = 0;
    if (RegCreateKeyEx(root, "Software\\Tx", 0, "", 0, KEY_ALL_ACCESS, nullptr, &key) != 0) return 3;
    for (int i = 0; i < count; ++i) {
      const std::string value = "value " + std::to_string(i);
      if (RegSetValueEx(key, "v" + std::to_string(i), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>(value.size() + 1)) != 0)
        return 4;
    }
    RegCloseKey(key);
  }
  std::printf("%d\n", static_cast<int>(transaction.Commit()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "read" && argc == 5) return Read(argv[2], argv[3], argv[4]);
  if (command == "transaction" && argc == 3) return Transaction(std::atoi(argv[2]));
  std::fprintf(stderr, "usage: %s read ROOT KEY NAME | transaction COUNT\n", argv[0]);
  return 2;
}
