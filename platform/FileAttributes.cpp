#include "platform/FileAttributes.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "runtime/Strings.h"

namespace qx6::platform {

DWORD GetFileAttributes(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return INVALID_FILE_ATTRIBUTES;
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else if (access(path.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  size_t slash = trimmed.find_last_of('/');
  std::string name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= FILE_ATTRIBUTE_HIDDEN;
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

std::string FindEntryName(const std::string& folder, const std::string& name) {
  if (name.empty()) return {};
  if (GetFileAttributes(folder + name) != INVALID_FILE_ATTRIBUTES) return name;
  std::string found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if ((found.empty() || entry < found) && Strings::EqualsText(entry, name)) found = std::move(entry);
  }
  return found;
}

bool CreateDirectory(const std::string& path) { return !path.empty() && mkdir(path.c_str(), 0777) == 0; }

bool DeleteFile(const std::string& path) { return !path.empty() && unlink(path.c_str()) == 0; }

}  // namespace qx6::platform
