// File attributes in the Windows manner: what GetFileAttributes reports for
// a path, and the folder and file calls that go with it.
#pragma once

#include <string>

#include "platform/Win32Types.h"

namespace qx6::platform {

inline constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
inline constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
inline constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
inline constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;

// INVALID_FILE_ATTRIBUTES when the path cannot be examined. A name starting
// with "." is hidden; a file its user cannot write is read-only.
DWORD GetFileAttributes(const std::string& path);
// The name under which `folder` (ending in "/") holds `name`, with file
// names compared without regard to letter case as the original platform
// compares them: `name` itself when it is there, else the first entry in
// name order that differs from it only in letter case; empty when there is
// none.
std::string FindEntryName(const std::string& folder, const std::string& name);
// One folder; its parent must exist.
bool CreateDirectory(const std::string& path);
bool DeleteFile(const std::string& path);

}  // namespace qx6::platform
