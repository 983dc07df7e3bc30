#include "platform/Environment.h"

#include <cstdlib>
#include <optional>

#include "runtime/Strings.h"

extern char** environ;

namespace qx6::platform {

namespace {

std::optional<std::string> Lookup(const std::string& name) {
  if (const char* value = std::getenv(name.c_str())) return std::string(value);
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view text = *entry;
    size_t equals = text.find('=');
    if (equals != std::string_view::npos && Strings::EqualsText(text.substr(0, equals), name))
      return std::string(text.substr(equals + 1));
  }
  return std::nullopt;
}

}  // namespace

std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text.substr(pos, open - pos));
    std::string name(text.substr(open + 1, close - open - 1));
    std::optional<std::string> value;
    if (!name.empty()) value = Lookup(name);
    if (value) {
      out += *value;
      pos = close + 1;
    } else {
      // The closing % may open the next reference.
      out.append(text.substr(open, close - open));
      pos = close;
    }
  }
  out.append(text.substr(pos));
  return out;
}

}  // namespace qx6::platform
