#include "host/OutputFileAnswer.h"

namespace qx6::host {

using namespace qx6::platform;

OutputFileAnswer::OutputFileAnswer(std::string path, std::shared_ptr<UserInteraction> inner)
    : path_(std::move(path)), inner_(std::move(inner)) {}

MessageAnswer OutputFileAnswer::MessageBox(std::string_view text, MessageButtons buttons, MessageIcon icon,
                                           std::string_view title) {
  return inner_->MessageBox(text, buttons, icon, title);
}

std::optional<std::string> OutputFileAnswer::InputBox(std::string_view prompt, std::string_view title,
                                                      std::string_view defaultText) {
  return inner_->InputBox(prompt, title, defaultText);
}

std::optional<FileDialogResult> OutputFileAnswer::FileDialog(const FileDialogRequest& request) {
  // Only the question for a file to write is the command line's to answer.
  if (!request.save) return inner_->FileDialog(request);
  asked_ = true;
  return FileDialogResult{path_, request.filterIndex};
}

std::optional<int32_t> OutputFileAnswer::ChooseColor(int32_t color, int32_t flags) {
  return inner_->ChooseColor(color, flags);
}

std::optional<FontChoice> OutputFileAnswer::ChooseFont(const FontChoice& initial, int32_t flags) {
  return inner_->ChooseFont(initial, flags);
}

std::optional<PrinterChoice> OutputFileAnswer::ChoosePrinter(const PrinterChoice& initial) {
  return inner_->ChoosePrinter(initial);
}

MousePointer OutputFileAnswer::Pointer() const { return inner_->Pointer(); }
void OutputFileAnswer::SetPointer(MousePointer pointer) { inner_->SetPointer(pointer); }
bool OutputFileAnswer::ShowHelp(const std::string& helpFile, int32_t contextId) {
  return inner_->ShowHelp(helpFile, contextId);
}

}  // namespace qx6::host
