#include "ui/modHelp.h"

#include "platform/ComponentFile.h"
#include "platform/UserInteraction.h"

namespace qx6::modHelp {
namespace {
thread_local std::string helpFile;
}

std::string GetHelpFilePath(const std::string& pstrHelpFile) {
  std::string folder = platform::ComponentFolder();
  // The folder of a component at the root is "/" itself, which is kept.
  const size_t last = folder.rfind('/');
  folder = last == std::string::npos ? std::string() : folder.substr(0, last + 1);
  return folder + "help/" + pstrHelpFile;
}

const std::string& ComponentHelpFile() { return helpFile; }
void SetComponentHelpFile(const std::string& path) { helpFile = path; }

void ShowHelpTopic(int32_t plngContextId, intptr_t, const std::string& pstrHelpFile) {
  const std::string& path = pstrHelpFile.empty() ? helpFile : pstrHelpFile;
  platform::CurrentUserInteraction().ShowHelp(path, plngContextId);
}

}  // namespace qx6::modHelp
