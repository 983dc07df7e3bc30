// Build check of the compiled help file's context map: every context ID must
// name its page as a file inside the help file ("/settings.html"), which is
// what the help viewer looks up, never as a path of the machine that built
// it. Usage: qx6helpcheck FILE.chm ID=/page.html...
// Prints what the map holds and exits with 1 when a name is wrong.
#include <chm_lib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

namespace {

std::string ReadObject(chmFile* file, const char* name, bool& found) {
  chmUnitInfo unit{};
  found = chm_resolve_object(file, name, &unit) == CHM_RESOLVE_SUCCESS && unit.length < (1u << 24);
  if (!found) return {};
  std::string bytes(static_cast<size_t>(unit.length), '\0');
  if (unit.length > 0 &&
      chm_retrieve_object(file, &unit, reinterpret_cast<unsigned char*>(bytes.data()), 0, unit.length) !=
          static_cast<LONGINT64>(unit.length))
    found = false;
  return bytes;
}

uint32_t Read32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE.chm [ID=/page.html]...\n", argv[0]);
    return 2;
  }
  std::map<uint32_t, std::string> expected;
  for (int i = 2; i < argc; ++i) {
    const std::string pair = argv[i];
    const size_t equals = pair.find('=');
    if (equals == std::string::npos) {
      std::fprintf(stderr, "%s: '%s' is not ID=/page.html\n", argv[0], argv[i]);
      return 2;
    }
    expected[static_cast<uint32_t>(std::stoul(pair.substr(0, equals)))] = pair.substr(equals + 1);
  }
  chmFile* file = chm_open(argv[1]);
  if (!file) {
    std::fprintf(stderr, "%s: %s is no readable help file\n", argv[0], argv[1]);
    return 1;
  }
  bool haveMap = false, haveStrings = false;
  const std::string map = ReadObject(file, "/#IVB", haveMap);
  const std::string strings = ReadObject(file, "/#STRINGS", haveStrings);
  int failures = 0;
  if (!haveMap || !haveStrings || map.size() < 4) {
    std::fprintf(stderr, "%s: %s has no context map\n", argv[0], argv[1]);
    failures = 1;
  } else {
    const size_t end = std::min<size_t>(map.size(), 4 + static_cast<size_t>(Read32(map, 0)));
    for (size_t at = 4; at + 8 <= end; at += 8) {
      const uint32_t id = Read32(map, at), offset = Read32(map, at + 4);
      const std::string name = offset < strings.size() ? std::string(strings.c_str() + offset) : std::string();
      chmUnitInfo unit{};
      const bool stored = !name.empty() && name[0] == '/' &&
                          chm_resolve_object(file, name.c_str(), &unit) == CHM_RESOLVE_SUCCESS;
      std::printf("context %u: %s\n", id, name.c_str());
      if (!stored) {
        std::fprintf(stderr, "%s: context %u names \"%s\", which is no file inside %s\n", argv[0], id, name.c_str(),
                     argv[1]);
        ++failures;
      }
      if (auto it = expected.find(id); it != expected.end()) {
        if (name != it->second) {
          std::fprintf(stderr, "%s: context %u names \"%s\" instead of \"%s\"\n", argv[0], id, name.c_str(),
                       it->second.c_str());
          ++failures;
        }
        expected.erase(it);
      }
    }
  }
  for (const auto& [id, page] : expected) {
    std::fprintf(stderr, "%s: context %u (%s) is missing from the map\n", argv[0], id, page.c_str());
    ++failures;
  }
  chm_close(file);
  return failures == 0 ? 0 : 1;
}
