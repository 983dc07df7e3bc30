// qx6regsvr: registers or unregisters component libraries, as regsvr32 does,
// by loading each library and calling its DllRegisterServer or
// DllUnregisterServer.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/ComponentModel.h"
#include "qx6/Version.h"

namespace {

int Usage(FILE* out) {
  std::fputs(
      "Usage: qx6regsvr [-u] [-s] [--user] LIBRARY...\n"
      "Registers each component library in the registry (HKEY_CLASSES_ROOT).\n"
      "\n"
      "Options:\n"
      "  -u         unregister instead\n"
      "  -s         silent: print nothing on success\n"
      "  --user     for this user alone: HKEY_CURRENT_USER\\Software\\Classes (no root needed)\n"
      "  -h,--help  print this help and exit\n"
      "  --version  print the version and exit\n",
      out);
  return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false, silent = false, perUser = false;
  std::vector<std::string> libraries;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-u" || arg == "/u") {
      unregister = true;
    } else if (arg == "-s" || arg == "/s") {
      silent = true;
    } else if (arg == "--user") {
      perUser = true;
    } else if (arg == "-h" || arg == "--help") {
      return Usage(stdout);
    } else if (arg == "--version") {
      std::printf("qx6regsvr %s\n", qx6::ProductVersion);
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "qx6regsvr: unknown option %s\n", arg.c_str());
      return Usage(stderr);
    } else {
      libraries.push_back(arg);
    }
  }
  if (libraries.empty()) return Usage(stderr);
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  std::optional<qx6::platform::PerUserRegistration> user;
  if (perUser) {
    user.emplace();
    if (user->Status() != 0) {
      std::fprintf(stderr, "qx6regsvr: cannot open HKEY_CURRENT_USER\\Software\\Classes (error %ld)\n",
                   static_cast<long>(user->Status()));
      return 1;
    }
  }
  int status = 0;
  for (const std::string& library : libraries) {
    std::string error;
    if (qx6::Failed(qx6::platform::RegisterLibrary(library, unregister, &error))) {
      std::fprintf(stderr, "qx6regsvr: %s\n", error.c_str());
      status = 1;
    } else if (!silent) {
      std::printf("%s succeeded in %s\n", entry, library.c_str());
    }
  }
  return status;
}
