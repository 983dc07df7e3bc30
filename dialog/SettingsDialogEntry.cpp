#include "dialog/SettingsDialogEntry.h"

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <string>

#include "config/ExportConfig.h"
#include "dialog/QtUserInteraction.h"
#include "dialog/frmExportSettings.h"

namespace qx6::dialog {
namespace {

bool Named(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

bool EnsureApplication() {
  if (QCoreApplication::instance()) return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  if (!CanShowWindows()) return false;
  // The application object lives as long as the process, as the host's would.
  static int argc = 1;
  static char name[] = "qx6jeflt";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
  return true;
}

}  // namespace

bool CanShowWindows() {
  if (QCoreApplication::instance()) return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
  return Named("QT_QPA_PLATFORM") || Named("DISPLAY") || Named("WAYLAND_DISPLAY");
}

std::optional<bool> ShowSettingsDialog(platform::SettingsDialogRequest& request) {
  auto* configs = std::any_cast<std::shared_ptr<ExportConfigs>>(&request.configs);
  if (!configs || !*configs) return std::nullopt;
  if (!EnsureApplication()) return std::nullopt;
  std::shared_ptr<platform::UserInteraction> previous;
  const bool replace = !platform::CurrentUserInteraction().AnswersForWindows();
  if (replace) previous = platform::InstallUserInteraction(std::make_shared<QtUserInteraction>());
  bool result = false;
  {
    frmExportSettings form;
    std::string name = request.configName;
    result = form.ShowSettings(*configs, request.configId, name);
    request.configName = name;
  }
  if (replace) platform::InstallUserInteraction(previous);
  return result;
}

void InstallSettingsDialogEntry() { platform::InstallSettingsDialog(&ShowSettingsDialog); }

}  // namespace qx6::dialog
