// Win32 error codes that the platform stand-ins return, and the system's
// message for each, in the Windows wording (what FormatMessage gives for a
// system error code).
#pragma once

#include <optional>
#include <string>

#include "platform/Win32Types.h"

namespace qx6::platform {

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_TOO_MANY_OPEN_FILES = 4;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_DISK_FULL = 112;
inline constexpr LONG ERROR_BAD_PATHNAME = 161;
inline constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_CANTOPEN = 1011;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_POSSIBLE_DEADLOCK = 1131;
inline constexpr LONG ERROR_TRANSACTION_NOT_ACTIVE = 6701;
inline constexpr LONG ERROR_TRANSACTION_ALREADY_ABORTED = 6704;

// The message for a code, without the line end FormatMessage appends; empty
// for a code this platform never produces.
std::optional<std::string> FormatSystemMessage(DWORD code);

}  // namespace qx6::platform
