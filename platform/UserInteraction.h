// Everything the component and the host show to a person goes through this
// interface: message boxes, the input box, the file and other common
// dialogs, the mouse pointer and help. Qt, the terminal and a scripted
// implementation for tests stand behind it; silent runs never reach it.
#pragma once

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qx6::platform {

// The button sets and icons of a message box, with the values of the
// original message box styles, and the answers.
enum class MessageButtons : int32_t { OK = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5 };
enum class MessageIcon : int32_t { None = 0, Critical = 16, Question = 32, Exclamation = 48, Information = 64 };
enum class MessageAnswer : int32_t { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };

std::string_view ToString(MessageButtons buttons);
std::string_view ToString(MessageIcon icon);
std::string_view ToString(MessageAnswer answer);

// The file open and save dialog: what the caller sets and what it gets back.
struct FileDialogRequest {
  intptr_t owner = 0;
  bool save = false;
  std::string title;
  // Description and pattern pairs, every part separated by "|".
  std::string filter;
  int32_t filterIndex = 0;  // 1-based pair shown first
  std::string fileName;     // initial name
  std::string initialFolder;
  std::string defaultExtension;
  int32_t flags = 0;  // the OFN_ flags of the original dialog
};

struct FileDialogResult {
  std::string fileName;  // full path
  int32_t filterIndex = 0;
};

// The OFN_ flags that change what the dialog does.
inline constexpr int32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr int32_t OFN_HIDEREADONLY = 0x4;
inline constexpr int32_t OFN_PATHMUSTEXIST = 0x800;
inline constexpr int32_t OFN_FILEMUSTEXIST = 0x1000;
inline constexpr int32_t OFN_EXPLORER = 0x80000;

struct FontChoice {
  std::string name;
  double size = 0;  // points
  int32_t charSet = 0;
  bool bold = false, italic = false, underline = false, strikethrough = false;
};

struct PrinterChoice {
  int32_t fromPage = 0, toPage = 0, minPage = 0, maxPage = 0, copies = 1;
  int32_t flags = 0;
};

enum class MousePointer : int32_t { Default = 0, Arrow = 1, Hourglass = 11 };

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;

  virtual MessageAnswer MessageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                                   std::string_view title) = 0;
  // The typed text, or no value when the user cancelled.
  virtual std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                              std::string_view defaultText) = 0;
  // No value when the user cancelled.
  virtual std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) = 0;
  virtual std::optional<int32_t> ChooseColor(int32_t initialColor, int32_t flags) = 0;
  virtual std::optional<FontChoice> ChooseFont(const FontChoice& initial, int32_t flags) = 0;
  virtual std::optional<PrinterChoice> ChoosePrinter(const PrinterChoice& initial) = 0;

  virtual MousePointer Pointer() const = 0;
  virtual void SetPointer(MousePointer pointer) = 0;

  // Opens a help topic; false when it could not be shown.
  virtual bool ShowHelp(const std::string& helpFile, int32_t contextId) = 0;

  // True when this implementation answers for a window of the component
  // (Qt, and the scripted stand-in of the tests); the settings dialog puts
  // the Qt implementation in place for its own life otherwise.
  virtual bool AnswersForWindows() const { return false; }
};

// Every dialog counts as cancelled, every message box is answered with its
// first button's "no": what a process without a terminal or display gets.
class NoUserInteraction : public UserInteraction {
 public:
  MessageAnswer MessageBox(std::string_view, MessageButtons buttons, MessageIcon, std::string_view) override;
  std::optional<std::string> InputBox(std::string_view, std::string_view, std::string_view) override;
  std::optional<FileDialogResult> FileDialog(const FileDialogRequest&) override;
  std::optional<int32_t> ChooseColor(int32_t, int32_t) override;
  std::optional<FontChoice> ChooseFont(const FontChoice&, int32_t) override;
  std::optional<PrinterChoice> ChoosePrinter(const PrinterChoice&) override;
  MousePointer Pointer() const override { return pointer_; }
  void SetPointer(MousePointer pointer) override { pointer_ = pointer; }
  bool ShowHelp(const std::string&, int32_t) override { return false; }

 private:
  MousePointer pointer_ = MousePointer::Default;
};

// The answer a message box gets when nobody can answer it: Cancel where the
// set has one, else No, else OK.
MessageAnswer DismissAnswer(MessageButtons buttons);

// The implementation in use by this process (NoUserInteraction until one is
// installed). The host installs the terminal or Qt implementation once, at
// start-up, before any object serves a call.
UserInteraction& CurrentUserInteraction();
std::shared_ptr<UserInteraction> InstallUserInteraction(std::shared_ptr<UserInteraction> implementation);

// What the settings dialog is handed and hands back. The configurations
// belong to a layer above this one, so they travel type-erased (the
// component puts its shared configuration collection in).
struct SettingsDialogRequest {
  std::any configs;
  int32_t configId = 0;     // the configuration shown first
  std::string configName;   // receives the name the dialog hands back
};

// The entry that shows the settings dialog: the dialog's result, or no
// value when no dialog can be shown here (no entry, no display).
using SettingsDialogEntry = std::function<std::optional<bool>(SettingsDialogRequest&)>;
SettingsDialogEntry InstallSettingsDialog(SettingsDialogEntry entry);
std::optional<bool> ShowSettingsDialog(SettingsDialogRequest& request);

}  // namespace qx6::platform
