#include "system/modShellFunctions.h"

#include <cstdio>

#include "platform/FileAttributes.h"
#include "platform/ShellFolders.h"

namespace qx6::modShellFunctions {

// Paths are UTF-8 and go to the file system as they are, so the ANSI
// conversion of the Windows calls has no counterpart here.

std::string GetSpecialFolderPath(int32_t plngFolderId) {
  // Windows tries three shell functions in turn (shell32's
  // SHGetSpecialFolderPath, then SHGetFolderPath of shfolder and of
  // shell32); here one lookup of the XDG folders answers for all of them.
  try {
    return platform::SHGetSpecialFolderPath(plngFolderId, false);
  } catch (...) {
    return "";
  }
}

std::string GetDocumentsFolder() { return GetSpecialFolderPath(platform::CSIDL_PERSONAL); }

bool CreateFolderPath(const std::string& pstrPath) {
  if (platform::GetFileAttributes(pstrPath) != platform::INVALID_FILE_ATTRIBUTES) return true;
  // Every prefix up to a separator, then the whole path; the first prefix
  // of an absolute path is the empty root part, which cannot be made and
  // need not be.
  size_t start = 0;
  while (true) {
    size_t slash = pstrPath.find('/', start);
    std::string prefix = slash == std::string::npos ? pstrPath : pstrPath.substr(0, slash);
    if (platform::GetFileAttributes(prefix) == platform::INVALID_FILE_ATTRIBUTES) platform::CreateDirectory(prefix);
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return platform::GetFileAttributes(pstrPath) != platform::INVALID_FILE_ATTRIBUTES;
}

bool IsValidFilePath(const std::string& pstrPath, bool& pblnExisted) {
  const platform::DWORD attributes = platform::GetFileAttributes(pstrPath);
  if (attributes != platform::INVALID_FILE_ATTRIBUTES) {
    if (attributes & platform::FILE_ATTRIBUTE_DIRECTORY) return false;
    pblnExisted = true;
    return true;
  }
  if (pstrPath.empty()) return false;
  std::FILE* file = std::fopen(pstrPath.c_str(), "a");
  if (!file) return false;
  std::fclose(file);
  platform::DeleteFile(pstrPath);
  pblnExisted = false;
  return true;
}

}  // namespace qx6::modShellFunctions
