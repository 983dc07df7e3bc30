#include "tools/qx6rc/RcSymbols.h"

namespace qx6::rc {

namespace {

struct Constant {
  const char* name;
  int value;
};

// The language and sub-language constants of the Windows headers that
// resource scripts use in LANGUAGE statements.
constexpr Constant kLanguageConstants[] = {
    {"LANG_NEUTRAL", 0x00},      {"LANG_INVARIANT", 0x7f},   {"LANG_ARABIC", 0x01},
    {"LANG_BULGARIAN", 0x02},    {"LANG_CATALAN", 0x03},     {"LANG_CHINESE", 0x04},
    {"LANG_CZECH", 0x05},        {"LANG_DANISH", 0x06},      {"LANG_GERMAN", 0x07},
    {"LANG_GREEK", 0x08},        {"LANG_ENGLISH", 0x09},     {"LANG_SPANISH", 0x0a},
    {"LANG_FINNISH", 0x0b},      {"LANG_FRENCH", 0x0c},      {"LANG_HEBREW", 0x0d},
    {"LANG_HUNGARIAN", 0x0e},    {"LANG_ICELANDIC", 0x0f},   {"LANG_ITALIAN", 0x10},
    {"LANG_JAPANESE", 0x11},     {"LANG_KOREAN", 0x12},      {"LANG_DUTCH", 0x13},
    {"LANG_NORWEGIAN", 0x14},    {"LANG_POLISH", 0x15},      {"LANG_PORTUGUESE", 0x16},
    {"LANG_ROMANIAN", 0x18},     {"LANG_RUSSIAN", 0x19},     {"LANG_CROATIAN", 0x1a},
    {"LANG_SERBIAN", 0x1a},      {"LANG_SLOVAK", 0x1b},      {"LANG_ALBANIAN", 0x1c},
    {"LANG_SWEDISH", 0x1d},      {"LANG_THAI", 0x1e},        {"LANG_TURKISH", 0x1f},
    {"LANG_URDU", 0x20},         {"LANG_INDONESIAN", 0x21},  {"LANG_UKRAINIAN", 0x22},
    {"LANG_BELARUSIAN", 0x23},   {"LANG_SLOVENIAN", 0x24},   {"LANG_ESTONIAN", 0x25},
    {"LANG_LATVIAN", 0x26},      {"LANG_LITHUANIAN", 0x27},  {"LANG_PERSIAN", 0x29},
    {"LANG_VIETNAMESE", 0x2a},   {"LANG_HINDI", 0x39},       {"LANG_MALAY", 0x3e},

    {"SUBLANG_NEUTRAL", 0x00},              {"SUBLANG_DEFAULT", 0x01},
    {"SUBLANG_SYS_DEFAULT", 0x02},          {"SUBLANG_CUSTOM_DEFAULT", 0x03},
    {"SUBLANG_CUSTOM_UNSPECIFIED", 0x04},   {"SUBLANG_UI_CUSTOM_DEFAULT", 0x05},
    {"SUBLANG_ARABIC_SAUDI_ARABIA", 0x01},  {"SUBLANG_ARABIC_EGYPT", 0x03},
    {"SUBLANG_CHINESE_TRADITIONAL", 0x01},  {"SUBLANG_CHINESE_SIMPLIFIED", 0x02},
    {"SUBLANG_CHINESE_HONGKONG", 0x03},     {"SUBLANG_CHINESE_SINGAPORE", 0x04},
    {"SUBLANG_CZECH_CZECH_REPUBLIC", 0x01}, {"SUBLANG_DANISH_DENMARK", 0x01},
    {"SUBLANG_DUTCH", 0x01},                {"SUBLANG_DUTCH_BELGIAN", 0x02},
    {"SUBLANG_ENGLISH_US", 0x01},           {"SUBLANG_ENGLISH_UK", 0x02},
    {"SUBLANG_ENGLISH_AUS", 0x03},          {"SUBLANG_ENGLISH_CAN", 0x04},
    {"SUBLANG_ENGLISH_NZ", 0x05},           {"SUBLANG_ENGLISH_EIRE", 0x06},
    {"SUBLANG_ENGLISH_IRELAND", 0x06},      {"SUBLANG_ENGLISH_SOUTH_AFRICA", 0x07},
    {"SUBLANG_ENGLISH_INDIA", 0x10},        {"SUBLANG_FINNISH_FINLAND", 0x01},
    {"SUBLANG_FRENCH", 0x01},               {"SUBLANG_FRENCH_BELGIAN", 0x02},
    {"SUBLANG_FRENCH_CANADIAN", 0x03},      {"SUBLANG_FRENCH_SWISS", 0x04},
    {"SUBLANG_FRENCH_LUXEMBOURG", 0x05},    {"SUBLANG_GERMAN", 0x01},
    {"SUBLANG_GERMAN_SWISS", 0x02},         {"SUBLANG_GERMAN_AUSTRIAN", 0x03},
    {"SUBLANG_GERMAN_LUXEMBOURG", 0x04},    {"SUBLANG_GREEK_GREECE", 0x01},
    {"SUBLANG_HEBREW_ISRAEL", 0x01},        {"SUBLANG_HUNGARIAN_HUNGARY", 0x01},
    {"SUBLANG_ITALIAN", 0x01},              {"SUBLANG_ITALIAN_SWISS", 0x02},
    {"SUBLANG_JAPANESE_JAPAN", 0x01},       {"SUBLANG_KOREAN", 0x01},
    {"SUBLANG_NORWEGIAN_BOKMAL", 0x01},     {"SUBLANG_NORWEGIAN_NYNORSK", 0x02},
    {"SUBLANG_POLISH_POLAND", 0x01},        {"SUBLANG_PORTUGUESE", 0x02},
    {"SUBLANG_PORTUGUESE_BRAZILIAN", 0x01}, {"SUBLANG_RUSSIAN_RUSSIA", 0x01},
    {"SUBLANG_SPANISH", 0x01},              {"SUBLANG_SPANISH_MEXICAN", 0x02},
    {"SUBLANG_SPANISH_MODERN", 0x03},       {"SUBLANG_SWEDISH", 0x01},
    {"SUBLANG_SWEDISH_FINLAND", 0x02},      {"SUBLANG_THAI_THAILAND", 0x01},
    {"SUBLANG_TURKISH_TURKEY", 0x01},       {"SUBLANG_UKRAINIAN_UKRAINE", 0x01},
    {"SUBLANG_VIETNAMESE_VIETNAM", 0x01},
};

}  // namespace

RcSymbols::RcSymbols() {
  for (const Constant& c : kLanguageConstants) Define(c.name, std::to_string(c.value));
  Define("RC_INVOKED", "1");
}

void RcSymbols::Define(const std::string& name, const std::string& value) {
  definitions_[name] = Definition{value};
}

void RcSymbols::Undefine(const std::string& name) { definitions_.erase(name); }

const RcSymbols::Definition* RcSymbols::Find(const std::string& name) const {
  auto it = definitions_.find(name);
  return it == definitions_.end() ? nullptr : &it->second;
}

}  // namespace qx6::rc
