#include "exporter/Startup.h"

#include "exporter/QX6FlatFile.h"
#include "ui/clsQX6Branding.h"
#include "ui/modLanguage.h"

namespace qx6 {
namespace {
thread_local bool startedOnThisThread = false;
}

void Main() {
  SetSharedBranding(std::make_shared<clsQX6Branding>());
  modLanguage::LoadLanguage("qx6jeflt");
  auto migration = MakeObject<QX6FlatFile>();
  migration->CheckMigrateSettings();
}

void EnsureStartedOnThisThread() {
  if (startedOnThisThread) return;
  startedOnThisThread = true;
  Main();
}

}  // namespace qx6
