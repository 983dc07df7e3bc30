// Environment-variable references in text, as the registry's expandable
// strings hold them ("%HOME%/Documents").
#pragma once

#include <string>
#include <string_view>

namespace qx6::platform {

// Replaces every %NAME% whose variable is set by its value; a name is found
// in its exact case first, then in any case (Windows names ignore case). A
// reference to an unset variable, and a lone %, stay as they are.
std::string ExpandEnvironmentStrings(std::string_view text);

}  // namespace qx6::platform
