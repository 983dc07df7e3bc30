#include "tools/qx6rc/StringTables.h"

namespace qx6::rc {

const StringTables::Entry* StringTables::Add(uint16_t language, uint16_t id, Entry entry) {
  auto [it, added] = languages_[language].try_emplace(id, std::move(entry));
  return added ? nullptr : &it->second;
}

}  // namespace qx6::rc
