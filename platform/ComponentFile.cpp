#include "platform/ComponentFile.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <mutex>

namespace qx6::platform {
namespace {
std::mutex folderMutex;
std::string recordedFolder;
std::string testFolder;

std::string FolderOf(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

void MarkerFunction() {}
}  // namespace

std::string SharedObjectPath(const void* address) {
  Dl_info info{};
  if (!address || dladdr(address, &info) == 0 || !info.dli_fname) return {};
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

void SetComponentFile(const void* address) {
  std::string folder = FolderOf(SharedObjectPath(address));
  std::lock_guard lock(folderMutex);
  recordedFolder = folder;
}

void SetComponentFolderForTesting(const std::string& folder) {
  std::lock_guard lock(folderMutex);
  testFolder = folder;
}

std::string ComponentFolder() {
  {
    std::lock_guard lock(folderMutex);
    if (!testFolder.empty()) return testFolder;
    if (!recordedFolder.empty()) return recordedFolder;
  }
  return FolderOf(SharedObjectPath(reinterpret_cast<const void*>(&MarkerFunction)));
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string FindFolderUpward(const std::string& name) {
  std::string candidate = ComponentFolder();
  while (candidate.size() > 1 && candidate.back() == '/') candidate.pop_back();
  for (;;) {
    const bool hasSeparator = candidate.find('/') != std::string::npos;
    if (!hasSeparator || PathExists(candidate + "/" + name)) break;
    candidate.erase(candidate.rfind('/'));
  }
  return candidate + "/" + name;
}

}  // namespace qx6::platform
