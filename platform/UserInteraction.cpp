#include "platform/UserInteraction.h"

#include <mutex>

namespace qx6::platform {

std::string_view ToString(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::OK: return "OK";
    case MessageButtons::OKCancel: return "OK/Cancel";
    case MessageButtons::AbortRetryIgnore: return "Abort/Retry/Ignore";
    case MessageButtons::YesNoCancel: return "Yes/No/Cancel";
    case MessageButtons::YesNo: return "Yes/No";
    case MessageButtons::RetryCancel: return "Retry/Cancel";
  }
  return "?";
}

std::string_view ToString(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return "none";
    case MessageIcon::Critical: return "critical";
    case MessageIcon::Question: return "question";
    case MessageIcon::Exclamation: return "exclamation";
    case MessageIcon::Information: return "information";
  }
  return "?";
}

std::string_view ToString(MessageAnswer answer) {
  switch (answer) {
    case MessageAnswer::OK: return "OK";
    case MessageAnswer::Cancel: return "Cancel";
    case MessageAnswer::Abort: return "Abort";
    case MessageAnswer::Retry: return "Retry";
    case MessageAnswer::Ignore: return "Ignore";
    case MessageAnswer::Yes: return "Yes";
    case MessageAnswer::No: return "No";
  }
  return "?";
}

MessageAnswer DismissAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::OKCancel:
    case MessageButtons::YesNoCancel:
    case MessageButtons::RetryCancel: return MessageAnswer::Cancel;
    case MessageButtons::YesNo: return MessageAnswer::No;
    case MessageButtons::AbortRetryIgnore: return MessageAnswer::Abort;
    case MessageButtons::OK: return MessageAnswer::OK;
  }
  return MessageAnswer::Cancel;
}

MessageAnswer NoUserInteraction::MessageBox(std::string_view, MessageButtons buttons, MessageIcon,
                                            std::string_view) {
  return DismissAnswer(buttons);
}
std::optional<std::string> NoUserInteraction::InputBox(std::string_view, std::string_view, std::string_view) {
  return std::nullopt;
}
std::optional<FileDialogResult> NoUserInteraction::FileDialog(const FileDialogRequest&) { return std::nullopt; }
std::optional<int32_t> NoUserInteraction::ChooseColor(int32_t, int32_t) { return std::nullopt; }
std::optional<FontChoice> NoUserInteraction::ChooseFont(const FontChoice&, int32_t) { return std::nullopt; }
std::optional<PrinterChoice> NoUserInteraction::ChoosePrinter(const PrinterChoice&) { return std::nullopt; }

namespace {
std::mutex installMutex;
std::shared_ptr<UserInteraction>& Installed() {
  static std::shared_ptr<UserInteraction> current = std::make_shared<NoUserInteraction>();
  return current;
}
}  // namespace

UserInteraction& CurrentUserInteraction() {
  std::lock_guard lock(installMutex);
  return *Installed();
}

std::shared_ptr<UserInteraction> InstallUserInteraction(std::shared_ptr<UserInteraction> implementation) {
  std::lock_guard lock(installMutex);
  if (!implementation) implementation = std::make_shared<NoUserInteraction>();
  std::swap(Installed(), implementation);
  return implementation;
}

namespace {
std::mutex entryMutex;
SettingsDialogEntry& InstalledEntry() {
  static SettingsDialogEntry entry;
  return entry;
}
}  // namespace

SettingsDialogEntry InstallSettingsDialog(SettingsDialogEntry entry) {
  std::lock_guard lock(entryMutex);
  std::swap(InstalledEntry(), entry);
  return entry;
}

std::optional<bool> ShowSettingsDialog(SettingsDialogRequest& request) {
  SettingsDialogEntry entry;
  {
    std::lock_guard lock(entryMutex);
    entry = InstalledEntry();
  }
  // The dialog runs outside the lock: it may install its own interaction.
  if (!entry) return std::nullopt;
  return entry(request);
}

}  // namespace qx6::platform
