// The user-interaction implementation for tests: records everything shown
// and plays back answers queued in advance. A dialog without a queued
// answer is cancelled (and recorded as such), so a test sees an unexpected
// question in its record instead of hanging.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/UserInteraction.h"

namespace qx6::platform {

class ScriptedUserInteraction : public UserInteraction {
 public:
  struct ShownMessage {
    std::string text;
    std::string title;
    MessageButtons buttons;
    MessageIcon icon;
    MessageAnswer answer;
  };
  struct ShownInput {
    std::string prompt, title, defaultText;
  };
  struct ShownHelp {
    std::string helpFile;
    int32_t contextId;
  };

  void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  void QueueInput(std::optional<std::string> text) { inputs_.push_back(std::move(text)); }
  void QueueFile(std::optional<FileDialogResult> result) { files_.push_back(std::move(result)); }
  void QueueColor(std::optional<int32_t> color) { colors_.push_back(color); }
  void QueueFont(std::optional<FontChoice> font) { fonts_.push_back(std::move(font)); }
  void QueuePrinter(std::optional<PrinterChoice> printer) { printers_.push_back(printer); }

  const std::vector<ShownMessage>& Messages() const { return messages_; }
  const std::vector<ShownInput>& Inputs() const { return shownInputs_; }
  const std::vector<FileDialogRequest>& FileDialogs() const { return shownFiles_; }
  const std::vector<ShownHelp>& HelpTopics() const { return shownHelp_; }
  int32_t ColorDialogs() const { return colorDialogs_; }
  int32_t FontDialogs() const { return fontDialogs_; }
  int32_t PrinterDialogs() const { return printerDialogs_; }
  // Answers queued but never asked for.
  size_t UnusedAnswers() const { return answers_.size() + inputs_.size() + files_.size(); }
  void ClearRecord();

  MessageAnswer MessageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                           std::string_view title) override;
  std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                      std::string_view defaultText) override;
  std::optional<FileDialogResult> FileDialog(const FileDialogRequest& request) override;
  std::optional<int32_t> ChooseColor(int32_t initialColor, int32_t flags) override;
  std::optional<FontChoice> ChooseFont(const FontChoice& initial, int32_t flags) override;
  std::optional<PrinterChoice> ChoosePrinter(const PrinterChoice& initial) override;
  MousePointer Pointer() const override { return pointer_; }
  void SetPointer(MousePointer pointer) override { pointer_ = pointer; }
  bool ShowHelp(const std::string& helpFile, int32_t contextId) override;
  bool AnswersForWindows() const override { return true; }

 private:
  std::deque<MessageAnswer> answers_;
  std::deque<std::optional<std::string>> inputs_;
  std::deque<std::optional<FileDialogResult>> files_;
  std::deque<std::optional<int32_t>> colors_;
  std::deque<std::optional<FontChoice>> fonts_;
  std::deque<std::optional<PrinterChoice>> printers_;
  std::vector<ShownMessage> messages_;
  std::vector<ShownInput> shownInputs_;
  std::vector<FileDialogRequest> shownFiles_;
  std::vector<ShownHelp> shownHelp_;
  int32_t colorDialogs_ = 0, fontDialogs_ = 0, printerDialogs_ = 0;
  MousePointer pointer_ = MousePointer::Default;
};

// Installs a scripted implementation for the life of a test scope and puts
// back the previous one afterwards.
class ScopedScriptedUserInteraction {
 public:
  ScopedScriptedUserInteraction();
  ~ScopedScriptedUserInteraction();
  ScriptedUserInteraction& operator*() { return *script_; }
  ScriptedUserInteraction* operator->() { return script_.get(); }

 private:
  std::shared_ptr<ScriptedUserInteraction> script_;
  std::shared_ptr<UserInteraction> previous_;
};

}  // namespace qx6::platform
