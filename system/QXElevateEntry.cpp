#include "system/QXElevateEntry.h"

#include "runtime/Strings.h"

namespace qx6 {

void QXElevateEntry::SetSectionKey(const std::string& value) { mstrSectionKey = Strings::Trim(value); }

void QXElevateEntry::SetValueName(const std::string& value) { mstrValueName = Strings::Trim(value); }

}  // namespace qx6
