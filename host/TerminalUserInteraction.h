// User interaction on a terminal: message boxes are printed on standard
// error with their title, questions prompt for an answer, the file dialog
// prompts for a path. Without a terminal on both standard input and
// standard error every dialog counts as cancelled.
#pragma once

#include <cstdio>

#include "platform/UserInteraction.h"

namespace qx6::host {

class TerminalUserInteraction : public platform::UserInteraction {
 public:
  // `in` and `out` default to standard input and standard error; whether
  // they are terminals decides whether anything is asked.
  TerminalUserInteraction();
  TerminalUserInteraction(std::FILE* in, std::FILE* out, bool interactive);

  platform::MessageAnswer MessageBox(std::string_view text, platform::MessageButtons buttons,
                                     platform::MessageIcon icon, std::string_view title) override;
  std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                      std::string_view defaultText) override;
  std::optional<platform::FileDialogResult> FileDialog(const platform::FileDialogRequest& request) override;
  std::optional<int32_t> ChooseColor(int32_t, int32_t) override { return std::nullopt; }
  std::optional<platform::FontChoice> ChooseFont(const platform::FontChoice&, int32_t) override { return std::nullopt; }
  std::optional<platform::PrinterChoice> ChoosePrinter(const platform::PrinterChoice&) override { return std::nullopt; }
  platform::MousePointer Pointer() const override { return pointer_; }
  void SetPointer(platform::MousePointer pointer) override { pointer_ = pointer; }
  bool ShowHelp(const std::string& helpFile, int32_t contextId) override;

  bool Interactive() const { return interactive_; }

 private:
  std::optional<std::string> ReadLine();

  std::FILE* in_;
  std::FILE* out_;
  bool interactive_;
  platform::MousePointer pointer_ = platform::MousePointer::Default;
};

}  // namespace qx6::host
