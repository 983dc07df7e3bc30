#include "host/OutputFileAnswer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/RuntimeError.h"

namespace qx6::host {

using namespace qx6::platform;

StandardOutputCopy::StandardOutputCopy() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0)
    Raise(RuntimeErrorNumber::PathFileAccessError,
          std::string("Cannot make a pipe to standard output: ") + std::strerror(errno));
  readEnd_ = ends[0];
  writeEnd_ = ends[1];
  path_ = "/proc/self/fd/" + std::to_string(writeEnd_);
  // The pipe's own write end stays open until Finish, so the copy sees the
  // end only after the exporter has closed its file and the host is done.
  copier_ = std::thread([this] {
    char buffer[1 << 16];
    bool splicing = true;
    for (;;) {
      // Straight from the pipe to standard output where the kernel can; a
      // plain copy where it cannot (a terminal, for one).
      if (splicing && error_.empty()) {
        const ssize_t n = splice(readEnd_, nullptr, STDOUT_FILENO, nullptr, 1 << 20, 0);
        if (n == 0) return;
        if (n > 0 || errno == EINTR) continue;
        if (errno == EINVAL)
          splicing = false;
        else
          error_ = std::strerror(errno);
      }
      const ssize_t n = read(readEnd_, buffer, sizeof buffer);
      if (n == 0) return;
      if (n < 0) {
        if (errno == EINTR) continue;
        return;
      }
      // After a failure the rest is read and dropped, so that the writer
      // never waits on a full pipe.
      for (ssize_t done = 0; done < n && error_.empty();) {
        const ssize_t w = write(STDOUT_FILENO, buffer + done, static_cast<size_t>(n - done));
        if (w > 0) {
          done += w;
        } else if (w < 0 && errno != EINTR) {
          error_ = std::strerror(errno);
        }
      }
    }
  });
}

std::string StandardOutputCopy::Finish() {
  if (writeEnd_ >= 0) close(writeEnd_);
  writeEnd_ = -1;
  if (copier_.joinable()) copier_.join();
  return error_;
}

StandardOutputCopy::~StandardOutputCopy() {
  Finish();
  close(readEnd_);
}

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
