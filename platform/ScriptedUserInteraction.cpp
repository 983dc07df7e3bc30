#include "platform/ScriptedUserInteraction.h"

namespace qx6::platform {

namespace {
template <class T>
std::optional<T> Next(std::deque<std::optional<T>>& queue) {
  if (queue.empty()) return std::nullopt;
  auto value = std::move(queue.front());
  queue.pop_front();
  return value;
}
}  // namespace

void ScriptedUserInteraction::ClearRecord() {
  messages_.clear();
  shownInputs_.clear();
  shownFiles_.clear();
  shownHelp_.clear();
  colorDialogs_ = fontDialogs_ = printerDialogs_ = 0;
}

MessageAnswer ScriptedUserInteraction::MessageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                                                  std::string_view title) {
  MessageAnswer answer = DismissAnswer(buttons);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.pop_front();
  }
  messages_.push_back({std::string(text), std::string(title), buttons, icon, answer});
  return answer;
}

std::optional<std::string> ScriptedUserInteraction::InputBox(std::string_view prompt, std::string_view title,
                                                             std::string_view defaultText) {
  shownInputs_.push_back({std::string(prompt), std::string(title), std::string(defaultText)});
  return Next(inputs_);
}

std::optional<FileDialogResult> ScriptedUserInteraction::FileDialog(const FileDialogRequest& request) {
  shownFiles_.push_back(request);
  return Next(files_);
}

std::optional<int32_t> ScriptedUserInteraction::ChooseColor(int32_t, int32_t) {
  ++colorDialogs_;
  return Next(colors_);
}

std::optional<FontChoice> ScriptedUserInteraction::ChooseFont(const FontChoice&, int32_t) {
  ++fontDialogs_;
  return Next(fonts_);
}

std::optional<PrinterChoice> ScriptedUserInteraction::ChoosePrinter(const PrinterChoice&) {
  ++printerDialogs_;
  return Next(printers_);
}

bool ScriptedUserInteraction::ShowHelp(const std::string& helpFile, int32_t contextId) {
  shownHelp_.push_back({helpFile, contextId});
  return true;
}

ScopedScriptedUserInteraction::ScopedScriptedUserInteraction()
    : script_(std::make_shared<ScriptedUserInteraction>()), previous_(InstallUserInteraction(script_)) {}

ScopedScriptedUserInteraction::~ScopedScriptedUserInteraction() { InstallUserInteraction(previous_); }

}  // namespace qx6::platform
