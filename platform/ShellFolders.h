// The shell's special folders (CSIDL identifiers) on this platform: the XDG
// user folders for the user's documents, desktop, music and so on, the XDG
// base folders for application data.
#pragma once

#include <cstdint>
#include <string>

namespace qx6::platform {

inline constexpr int32_t CSIDL_DESKTOP = 0x0000;
inline constexpr int32_t CSIDL_PROGRAMS = 0x0002;
inline constexpr int32_t CSIDL_PERSONAL = 0x0005;
inline constexpr int32_t CSIDL_MYDOCUMENTS = CSIDL_PERSONAL;
inline constexpr int32_t CSIDL_STARTMENU = 0x000B;
inline constexpr int32_t CSIDL_MYMUSIC = 0x000D;
inline constexpr int32_t CSIDL_MYVIDEO = 0x000E;
inline constexpr int32_t CSIDL_DESKTOPDIRECTORY = 0x0010;
inline constexpr int32_t CSIDL_FONTS = 0x0014;
inline constexpr int32_t CSIDL_TEMPLATES = 0x0015;
inline constexpr int32_t CSIDL_APPDATA = 0x001A;
inline constexpr int32_t CSIDL_LOCAL_APPDATA = 0x001C;
inline constexpr int32_t CSIDL_INTERNET_CACHE = 0x0020;
inline constexpr int32_t CSIDL_COMMON_APPDATA = 0x0023;
inline constexpr int32_t CSIDL_PROGRAM_FILES = 0x0026;
inline constexpr int32_t CSIDL_MYPICTURES = 0x0027;
inline constexpr int32_t CSIDL_PROFILE = 0x0028;
inline constexpr int32_t CSIDL_COMMON_DOCUMENTS = 0x002E;
inline constexpr int32_t CSIDL_FLAG_DONT_VERIFY = 0x4000;
inline constexpr int32_t CSIDL_FLAG_CREATE = 0x8000;
inline constexpr int32_t CSIDL_FLAG_MASK = 0xFF00;

// The folder for `csidl` without a trailing "/", or empty when the
// identifier has no counterpart here or the folder cannot be determined
// (no HOME). The folder need not exist; `create` (or CSIDL_FLAG_CREATE)
// creates it, and then an empty result means it could not be created.
//
//   CSIDL_PERSONAL        XDG_DOCUMENTS_DIR, else $HOME/Documents
//   CSIDL_DESKTOP(DIR..)  XDG_DESKTOP_DIR, else $HOME/Desktop
//   CSIDL_MYMUSIC / MYPICTURES / MYVIDEO / TEMPLATES
//                         XDG_MUSIC_DIR / PICTURES / VIDEOS / TEMPLATES
//   CSIDL_COMMON_DOCUMENTS XDG_PUBLICSHARE_DIR, else $HOME/Public
//   CSIDL_APPDATA         $XDG_CONFIG_HOME, else $HOME/.config
//   CSIDL_LOCAL_APPDATA   $XDG_DATA_HOME, else $HOME/.local/share
//   CSIDL_INTERNET_CACHE  $XDG_CACHE_HOME, else $HOME/.cache
//   CSIDL_PROGRAMS, CSIDL_STARTMENU  <local appdata>/applications
//   CSIDL_FONTS           <local appdata>/fonts
//   CSIDL_PROFILE         $HOME
//   CSIDL_COMMON_APPDATA  the first of $XDG_DATA_DIRS, else /usr/local/share
//   CSIDL_PROGRAM_FILES   /opt
//
// The XDG user folders come from $XDG_CONFIG_HOME/user-dirs.dirs (else
// ~/.config/user-dirs.dirs), with $HOME expanded.
std::string SHGetSpecialFolderPath(int32_t csidl, bool create = false);

}  // namespace qx6::platform
