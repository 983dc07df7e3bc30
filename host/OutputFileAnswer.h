// The exporter's question for an output file, answered from the command
// line (--output): the save dialog returns the given path as it stands,
// every other question goes to the interaction underneath.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "platform/UserInteraction.h"

namespace qx6::host {

// What "--output -" stands for: a path the exporter can open, to which a
// date and time cannot be added (a name made from it does not exist and
// cannot be created, even by root), and whose bytes reach standard output.
// The path is the write end of a private pipe; a thread of the host copies
// what arrives to standard output, whatever that is (a file, a pipe of
// another user, a socket: none of them need be opened again by name).
class StandardOutputCopy {
 public:
  // Raises error 75 with the system's reason when no pipe can be made.
  StandardOutputCopy();
  ~StandardOutputCopy();
  StandardOutputCopy(const StandardOutputCopy&) = delete;
  StandardOutputCopy& operator=(const StandardOutputCopy&) = delete;

  const std::string& Path() const { return path_; }
  // Waits until every byte written so far has reached standard output; the
  // exporter must have closed its file. Returns the reason standard output
  // could not take them, or "" when it took them all.
  std::string Finish();

 private:
  int readEnd_ = -1, writeEnd_ = -1;
  std::string path_;
  std::string error_;
  std::thread copier_;
};

class OutputFileAnswer : public platform::UserInteraction {
 public:
  OutputFileAnswer(std::string path, std::shared_ptr<platform::UserInteraction> inner);

  // True once the exporter asked for a file (and got the path).
  bool Asked() const { return asked_; }

  platform::MessageAnswer MessageBox(std::string_view text, platform::MessageButtons buttons,
                                     platform::MessageIcon icon, std::string_view title) override;
  std::optional<std::string> InputBox(std::string_view prompt, std::string_view title,
                                      std::string_view defaultText) override;
  std::optional<platform::FileDialogResult> FileDialog(const platform::FileDialogRequest& request) override;
  std::optional<int32_t> ChooseColor(int32_t color, int32_t flags) override;
  std::optional<platform::FontChoice> ChooseFont(const platform::FontChoice& initial, int32_t flags) override;
  std::optional<platform::PrinterChoice> ChoosePrinter(const platform::PrinterChoice& initial) override;
  platform::MousePointer Pointer() const override;
  void SetPointer(platform::MousePointer pointer) override;
  bool ShowHelp(const std::string& helpFile, int32_t contextId) override;

 private:
  std::string path_;
  std::shared_ptr<platform::UserInteraction> inner_;
  bool asked_ = false;
};

}  // namespace qx6::host
