// The integer types of the Windows API that the platform stand-ins speak in,
// so that callers read like the Windows code they replace.
#pragma once

#include <cstdint>

namespace qx6::platform {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using BYTE = std::uint8_t;

}  // namespace qx6::platform
