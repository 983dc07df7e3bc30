// The user-interaction implementation on Qt Widgets: message boxes with the
// button sets and icons of the original styles, the input box, the file
// dialog with its filter pairs and flags, colour and font choosers, the
// mouse pointer and the help window. It serves the settings dialog and any
// host that has a display.
#pragma once

#include <QWidget>

#include "platform/UserInteraction.h"

namespace qx6::dialog {

class QtUserInteraction : public platform::UserInteraction {
 public:
  platform::MessageAnswer MessageBox(std::string_view text, platform::MessageButtons buttons,
                                     platform::MessageIcon icon, std::string_view title) override;
  std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                      std::string_view defaultText) override;
  std::optional<platform::FileDialogResult> FileDialog(const platform::FileDialogRequest& request) override;
  std::optional<int32_t> ChooseColor(int32_t initialColor, int32_t flags) override;
  std::optional<platform::FontChoice> ChooseFont(const platform::FontChoice& initial, int32_t flags) override;
  // This build has no print support: the printer dialog counts as cancelled.
  std::optional<platform::PrinterChoice> ChoosePrinter(const platform::PrinterChoice& initial) override;
  platform::MousePointer Pointer() const override { return pointer_; }
  void SetPointer(platform::MousePointer pointer) override;
  bool ShowHelp(const std::string& helpFile, int32_t contextId) override;
  bool AnswersForWindows() const override { return true; }

 private:
  platform::MousePointer pointer_ = platform::MousePointer::Default;
  int overrides_ = 0;
};

// The window that owns a dialog: the active modal window, else the active one.
QWidget* DialogOwner();

// Qt name filters from the pairs "description|pattern|...".
QStringList NameFilters(const std::string& filter);

}  // namespace qx6::dialog
