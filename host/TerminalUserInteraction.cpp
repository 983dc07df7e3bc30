#include "host/TerminalUserInteraction.h"

#include <unistd.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "runtime/Strings.h"

namespace qx6::host {
namespace {

using platform::MessageAnswer;
using platform::MessageButtons;

struct Choice {
  MessageAnswer answer;
  const char* word;
};

std::vector<Choice> ChoicesFor(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::OK: return {{MessageAnswer::OK, "OK"}};
    case MessageButtons::OKCancel: return {{MessageAnswer::OK, "OK"}, {MessageAnswer::Cancel, "Cancel"}};
    case MessageButtons::AbortRetryIgnore:
      return {{MessageAnswer::Abort, "Abort"}, {MessageAnswer::Retry, "Retry"}, {MessageAnswer::Ignore, "Ignore"}};
    case MessageButtons::YesNoCancel:
      return {{MessageAnswer::Yes, "Yes"}, {MessageAnswer::No, "No"}, {MessageAnswer::Cancel, "Cancel"}};
    case MessageButtons::YesNo: return {{MessageAnswer::Yes, "Yes"}, {MessageAnswer::No, "No"}};
    case MessageButtons::RetryCancel: return {{MessageAnswer::Retry, "Retry"}, {MessageAnswer::Cancel, "Cancel"}};
  }
  return {{MessageAnswer::OK, "OK"}};
}

const char* IconWord(platform::MessageIcon icon) {
  switch (icon) {
    case platform::MessageIcon::Critical: return "Error";
    case platform::MessageIcon::Exclamation: return "Warning";
    case platform::MessageIcon::Information: return "Information";
    case platform::MessageIcon::Question: return "Question";
    case platform::MessageIcon::None: return nullptr;
  }
  return nullptr;
}

}  // namespace

TerminalUserInteraction::TerminalUserInteraction()
    : TerminalUserInteraction(stdin, stderr, isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) {}

TerminalUserInteraction::TerminalUserInteraction(std::FILE* in, std::FILE* out, bool interactive)
    : in_(in), out_(out), interactive_(interactive) {}

std::optional<std::string> TerminalUserInteraction::ReadLine() {
  std::string line;
  for (int c; (c = std::fgetc(in_)) != EOF;) {
    if (c == '\n') return line;
    if (c != '\r') line += static_cast<char>(c);
  }
  if (line.empty()) return std::nullopt;
  return line;
}

MessageAnswer TerminalUserInteraction::MessageBox(std::string_view text, MessageButtons buttons,
                                                  platform::MessageIcon icon, std::string_view title) {
  const char* kind = IconWord(icon);
  std::fprintf(out_, "%.*s%s%s: %.*s\n", static_cast<int>(title.size()), title.data(), kind ? " - " : "",
               kind ? kind : "", static_cast<int>(text.size()), text.data());
  const auto choices = ChoicesFor(buttons);
  if (choices.size() == 1 || !interactive_) {
    std::fflush(out_);
    return choices.size() == 1 ? choices[0].answer : platform::DismissAnswer(buttons);
  }
  for (;;) {
    std::string prompt;
    for (const Choice& c : choices) prompt += (prompt.empty() ? "" : "/") + std::string(c.word);
    std::fprintf(out_, "[%s] ", prompt.c_str());
    std::fflush(out_);
    auto line = ReadLine();
    if (!line) return platform::DismissAnswer(buttons);
    std::string answer(Strings::Trim(*line));
    for (const Choice& c : choices) {
      if (!answer.empty() && Strings::EqualsText(answer, std::string_view(c.word).substr(0, answer.size())))
        return c.answer;
    }
  }
}

std::optional<std::string> TerminalUserInteraction::InputBox(std::string_view prompt, std::string_view title,
                                                             std::string_view defaultText) {
  if (!interactive_) return std::nullopt;
  std::fprintf(out_, "%.*s: %.*s", static_cast<int>(title.size()), title.data(), static_cast<int>(prompt.size()),
               prompt.data());
  if (!defaultText.empty()) std::fprintf(out_, " [%.*s]", static_cast<int>(defaultText.size()), defaultText.data());
  std::fputs(" ", out_);
  std::fflush(out_);
  auto line = ReadLine();
  if (!line) return std::nullopt;
  if (line->empty()) return std::string(defaultText);
  return line;
}

std::optional<platform::FileDialogResult> TerminalUserInteraction::FileDialog(
    const platform::FileDialogRequest& request) {
  if (!interactive_) return std::nullopt;
  std::fprintf(out_, "%s\n", request.title.c_str());
  for (;;) {
    std::fputs(request.fileName.empty() ? "File name (empty to cancel): " : "File name: ", out_);
    if (!request.fileName.empty()) std::fprintf(out_, "[%s] ", request.fileName.c_str());
    std::fflush(out_);
    auto line = ReadLine();
    if (!line) return std::nullopt;
    std::string path(Strings::Trim(*line));
    if (path.empty()) path = request.fileName;
    if (path.empty()) return std::nullopt;
    if (path.rfind("~/", 0) == 0) {
      if (const char* home = std::getenv("HOME")) path = std::string(home) + path.substr(1);
    }
    if (path[0] != '/') {
      char cwd[4096];
      if (getcwd(cwd, sizeof cwd)) path = std::string(cwd) + "/" + path;
    }
    struct stat st {};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
      std::fprintf(out_, "%s is a folder.\n", path.c_str());
      continue;
    }
    if ((request.flags & platform::OFN_PATHMUSTEXIST) && !exists) {
      auto slash = path.rfind('/');
      std::string folder = slash == 0 ? "/" : path.substr(0, slash);
      if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(out_, "The folder %s does not exist.\n", folder.c_str());
        continue;
      }
    }
    if ((request.flags & platform::OFN_FILEMUSTEXIST) && !exists) {
      std::fprintf(out_, "%s does not exist.\n", path.c_str());
      continue;
    }
    if (request.save && exists && (request.flags & platform::OFN_OVERWRITEPROMPT)) {
      std::fprintf(out_, "%s already exists. Replace it? [Yes/No] ", path.c_str());
      std::fflush(out_);
      auto answer = ReadLine();
      if (!answer) return std::nullopt;
      std::string a(Strings::Trim(*answer));
      if (a.empty() || !Strings::EqualsText(a.substr(0, 1), "y")) continue;
    }
    return platform::FileDialogResult{path, request.filterIndex > 0 ? request.filterIndex : 1};
  }
}

bool TerminalUserInteraction::ShowHelp(const std::string& helpFile, int32_t contextId) {
  std::fprintf(out_, "Help: %s (topic %d)\n", helpFile.c_str(), contextId);
  return false;
}

}  // namespace qx6::host
