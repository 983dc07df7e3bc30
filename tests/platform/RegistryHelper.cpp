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

#include "platform/RegistryTransaction.h"
#include "tests/platform/RegistryValues.h"

using namespace qx6::test;

namespace {

HKEY RootNamed(const std::string& name) {
  if (name == "HKCU") return HKEY_CURRENT_USER;
  return name == "HKLM" ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
}

int Transaction(int count) {
  RegistryTransaction transaction;
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE})
    for (int i = 0; i < count; ++i)
      if (PutText(root, "Software\\Tx", "v" + std::to_string(i), "value " + std::to_string(i)) != 0) return 4;
  std::printf("%d\n", static_cast<int>(transaction.Commit()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "read" && argc == 5) {
    std::printf("%s\n", GetText(RootNamed(argv[2]), argv[3], argv[4]).c_str());
    return 0;
  }
  if (command == "transaction" && argc == 3) return Transaction(std::atoi(argv[2]));
  std::fprintf(stderr, "usage: %s read ROOT KEY NAME | transaction COUNT\n", argv[0]);
  return 2;
}
