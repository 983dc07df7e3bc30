#include "host/RegistryMessages.h"

#include "platform/Registry.h"
#include "platform/RegistryStore.h"
#include "platform/SystemMessage.h"

namespace qx6::host {
namespace {

using namespace qx6::platform;

std::string SystemText(LONG status) {
  std::string text = FormatSystemMessage(static_cast<DWORD>(status)).value_or("error " + std::to_string(status));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string NextStep(LONG status) {
  switch (status) {
    case ERROR_REGISTRY_CORRUPT:
      return "repair that line or move the file aside (a missing file is an empty registry), then run "
             "'qx6export register' again";
    case ERROR_ACCESS_DENIED:
      return "the machine registry is for administrators: run the command as root (sudo), or set "
             "QX6_REGISTRY_DIR to a folder of your own";
    case ERROR_DISK_FULL: return "free some space on that disk and try again";
    default: return {};
  }
}

// A damaged hive on the way to the classes: the user's or the machine's.
LONG DamagedHive() {
  for (HiveId hive : {HiveId::CurrentUser, HiveId::LocalMachine}) {
    const HiveSnapshot snapshot = ReadHive(hive);
    if (snapshot.status == ERROR_REGISTRY_CORRUPT) return snapshot.status;
  }
  return ERROR_SUCCESS;
}

}  // namespace

LONG Win32CodeOf(HRESULT status) {
  const auto bits = static_cast<uint32_t>(status);
  return (bits & 0xFFFF0000u) == 0x80070000u ? static_cast<LONG>(bits & 0xFFFFu) : 0;
}

std::string RegistryFailure(LONG status) {
  std::string text = SystemText(status);
  const std::string detail = RegistryFailureDetail();
  if (!detail.empty()) text += " (" + detail + ")";
  const std::string next = NextStep(status);
  if (!next.empty()) text += "; " + next;
  return text;
}

std::string ComponentUnavailable(const std::string& progId, HRESULT status) {
  if (const LONG damaged = DamagedHive()) return "the registry cannot be read: " + RegistryFailure(damaged);
  if (status == REGDB_E_CLASSNOTREG)
    return "the export component " + progId + " is not registered; run 'qx6export register' (as root, for every user)";
  if (status == CO_E_ERRORINDLL)
    return "the export component " + progId +
           " is registered, but its library cannot be loaded (moved or damaged); run 'qx6export register' again";
  if (const LONG code = Win32CodeOf(status)) return "the export component " + progId + " cannot be found: " + RegistryFailure(code);
  return "the export component " + progId + " cannot be created";
}

std::string RegistrationFailure(const std::string& library, HRESULT status, const std::string& detail,
                                bool unregister, bool perUser) {
  std::string text = std::string(unregister ? "cannot unregister " : "cannot register ") + library + ": ";
  const LONG code = Win32CodeOf(status);
  if (code == ERROR_ACCESS_DENIED && !perUser) {
    // As on Windows: for every user is for administrators, for oneself is not.
    const std::string where = RegistryFailureDetail();
    return std::string(unregister ? "unregistering" : "registering") +
           " for every user changes the machine registry" + (where.empty() ? "" : " (" + where + ")") +
           ", which needs root: run 'sudo qx6export " + (unregister ? "unregister" : "register") + "', or 'qx6export " +
           (unregister ? "unregister" : "register") + " --user' for yourself alone";
  }
  if (code) return text + RegistryFailure(code);
  return text + (detail.empty() ? "its registration entry point failed" : detail);
}

}  // namespace qx6::host
