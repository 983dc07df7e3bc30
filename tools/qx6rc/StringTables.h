// The string tables of a compiled script: for each language, the strings by
// ID, each with the place that defined it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qx6::rc {

class StringTables {
 public:
  struct Entry {
    std::u16string text;
    std::string file;
    int line;
  };
  using Table = std::map<uint16_t, Entry>;  // by string ID

  // Null when added; otherwise the entry that already holds (language, id).
  const Entry* Add(uint16_t language, uint16_t id, Entry entry);

  const std::map<uint16_t, Table>& Languages() const noexcept { return languages_; }

 private:
  std::map<uint16_t, Table> languages_;  // by language ID
};

}  // namespace qx6::rc
