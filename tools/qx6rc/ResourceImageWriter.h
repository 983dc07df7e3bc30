// Lays string tables out as a resource-only PE32 DLL (i386, one .rsrc
// section, no code, no entry point, no imports) in the shape Windows'
// LoadLibraryEx and LoadString expect: RT_STRING blocks of sixteen counted
// UTF-16 strings, block ID = string ID / 16 + 1, one leaf per language.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/qx6rc/StringTables.h"

namespace qx6::rc {

std::vector<uint8_t> WriteResourceImage(const StringTables& tables);

}  // namespace qx6::rc
