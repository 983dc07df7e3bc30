#include "platform/ShellFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string_view>

namespace qx6::platform {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Home() { return Env("HOME"); }

// An XDG base folder: the variable when it holds an absolute path, else
// the fallback below HOME.
std::string BaseFolder(const char* variable, const char* belowHome) {
  std::string value = Env(variable);
  if (!value.empty() && value[0] == '/') return value;
  std::string home = Home();
  return home.empty() ? "" : home + "/" + belowHome;
}

// One entry of user-dirs.dirs: NAME="$HOME/Folder" or NAME="/absolute".
std::optional<std::string> UserDirsEntry(const std::string& key) {
  std::string config = BaseFolder("XDG_CONFIG_HOME", ".config");
  if (config.empty()) return std::nullopt;
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  std::optional<std::string> found;
  while (std::getline(in, line)) {
    std::string_view text = line;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    if (text.empty() || text.front() == '#') continue;
    size_t equals = text.find('=');
    if (equals == std::string_view::npos || text.substr(0, equals) != key) continue;
    std::string_view raw = text.substr(equals + 1);
    while (!raw.empty() && (raw.back() == ' ' || raw.back() == '\t' || raw.back() == '\r')) raw.remove_suffix(1);
    std::string value;
    bool quoted = !raw.empty() && raw.front() == '"';
    if (quoted) {
      raw.remove_prefix(1);
      if (raw.empty() || raw.back() != '"') continue;
      raw.remove_suffix(1);
    }
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
      value += raw[i];
    }
    std::string home = Home();
    if (value.rfind("$HOME", 0) == 0) {
      if (home.empty()) continue;
      value = home + value.substr(5);
    } else if (value.rfind("${HOME}", 0) == 0) {
      if (home.empty()) continue;
      value = home + value.substr(7);
    } else if (value.empty() || value[0] != '/') {
      continue;  // the file's rules allow nothing else
    }
    found = value;  // the last entry of a key wins, as when the shell reads it
  }
  return found;
}

std::string UserFolder(const char* key, const char* fallback) {
  if (std::optional<std::string> entry = UserDirsEntry(key)) return *entry;
  std::string home = Home();
  return home.empty() ? "" : home + "/" + fallback;
}

std::string Lookup(int32_t csidl) {
  switch (csidl) {
    case CSIDL_PERSONAL: return UserFolder("XDG_DOCUMENTS_DIR", "Documents");
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY: return UserFolder("XDG_DESKTOP_DIR", "Desktop");
    case CSIDL_MYMUSIC: return UserFolder("XDG_MUSIC_DIR", "Music");
    case CSIDL_MYPICTURES: return UserFolder("XDG_PICTURES_DIR", "Pictures");
    case CSIDL_MYVIDEO: return UserFolder("XDG_VIDEOS_DIR", "Videos");
    case CSIDL_TEMPLATES: return UserFolder("XDG_TEMPLATES_DIR", "Templates");
    case CSIDL_COMMON_DOCUMENTS: return UserFolder("XDG_PUBLICSHARE_DIR", "Public");
    case CSIDL_APPDATA: return BaseFolder("XDG_CONFIG_HOME", ".config");
    case CSIDL_LOCAL_APPDATA: return BaseFolder("XDG_DATA_HOME", ".local/share");
    case CSIDL_INTERNET_CACHE: return BaseFolder("XDG_CACHE_HOME", ".cache");
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU: {
      std::string data = BaseFolder("XDG_DATA_HOME", ".local/share");
      return data.empty() ? "" : data + "/applications";
    }
    case CSIDL_FONTS: {
      std::string data = BaseFolder("XDG_DATA_HOME", ".local/share");
      return data.empty() ? "" : data + "/fonts";
    }
    case CSIDL_PROFILE: return Home();
    case CSIDL_COMMON_APPDATA: {
      std::string dirs = Env("XDG_DATA_DIRS");
      std::string first = dirs.substr(0, dirs.find(':'));
      return !first.empty() && first[0] == '/' ? first : "/usr/local/share";
    }
    case CSIDL_PROGRAM_FILES: return "/opt";
    default: return "";
  }
}

bool MakeFolders(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
  return mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

}  // namespace

std::string SHGetSpecialFolderPath(int32_t csidl, bool create) {
  if (csidl & CSIDL_FLAG_CREATE) create = true;
  std::string path = Lookup(csidl & ~CSIDL_FLAG_MASK);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!path.empty() && create && !MakeFolders(path)) return "";
  return path;
}

}  // namespace qx6::platform
