#include "ui/modLanguage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>

#include "platform/ComponentFile.h"
#include "platform/Registry.h"
#include "runtime/CodePage.h"
#include "runtime/Conversion.h"
#include "runtime/Locale.h"
#include "runtime/RuntimeError.h"
#include "runtime/Strings.h"
#include "system/clsRegistry.h"

namespace qx6::modLanguage {
namespace {

struct LanguageState {
  std::string appName;
  LanguageLibrary current;
  LanguageLibrary english;
  std::string folder;
};

thread_local LanguageState state;

constexpr int32_t EnglishLocale = 1033;
constexpr int32_t MaxCharacters = 511;

std::string LibraryPath(const std::string& locale) {
  return GetLanguageFolder() + "/" + locale + "/" + state.appName + "LangRes.dll";
}

std::string LowByteKey(int64_t number) {
  char hex[24];
  std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(static_cast<uint32_t>(number)));
  std::string text = hex;
  return text.size() > 2 ? text.substr(text.size() - 2) : text;
}

bool IsPlainDirectory(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ReadString(const LanguageLibrary& library, int32_t id) {
  if (!library || id < 0) return {};
  auto text = library->LoadString(static_cast<uint32_t>(id));
  if (!text) return {};
  return CodePage::ThroughAnsi(Strings::Left(*text, MaxCharacters));
}

}  // namespace

bool PathExists(const std::string& path) { return platform::PathExists(path); }

std::string GetLanguageFolder() {
  if (state.folder.empty()) state.folder = platform::FindFolderUpward("lang");
  return state.folder;
}

Variant ReadLocaleIdSetting() {
  clsRegistry registry;
  registry.SetClassKey(platform::HKEY_CURRENT_USER);
  registry.SetSectionKey("Software\\Quorvex 6");
  registry.SetValueType(platform::REG_DWORD);
  Variant value = registry.GetValueOrDefault("LocaleId", Variant::String(""));
  if (value.IsNull() || value.IsEmpty() || (value.IsString() && value.StringValue().empty()))
    return Variant::Long(-1);
  try {
    return Variant::Long(Convert::ToLong(value));
  } catch (const RuntimeError&) {
    return Variant::Long(-1);
  }
}

int32_t GetUserLocaleId() {
  int32_t setting = ReadLocaleIdSetting().LongValue();
  if (setting == -1) return static_cast<int32_t>(Locale::User().lcid);
  return setting;
}

LanguageLibrary FindLanguageLibrary(int32_t locale) {
  const std::string key = LowByteKey(locale);
  if (key == "09") return nullptr;
  const std::string folder = GetLanguageFolder();
  std::vector<std::string> entries;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(it->path().filename().string());
  std::sort(entries.begin(), entries.end());
  for (const std::string& entry : entries) {
    if (!IsPlainDirectory(folder + "/" + entry)) continue;
    Variant name = Variant::String(entry);
    if (!Convert::IsNumeric(name)) continue;
    int32_t number = 0;
    try {
      number = Convert::ToLong(name);
    } catch (const RuntimeError&) {
      continue;
    }
    if (LowByteKey(number) != key) continue;
    return platform::ResourceModule::Load(folder + "/" + entry + "/" + state.appName + "LangRes.dll");
  }
  return nullptr;
}

void UnloadLanguage() {
  state.current.reset();
  state.english.reset();
}

bool LoadLanguage(const std::string& appName) {
  if (state.current) UnloadLanguage();
  state.appName = appName;
  const std::string englishPath = LibraryPath(std::to_string(EnglishLocale));
  if (!PathExists(englishPath)) return false;
  state.english = platform::ResourceModule::Load(englishPath);
  state.current = state.english;
  if (!state.english) return false;
  const int32_t locale = GetUserLocaleId();
  if (locale == EnglishLocale) return true;
  LanguageLibrary user = platform::ResourceModule::Load(LibraryPath(std::to_string(locale)));
  if (!user) user = FindLanguageLibrary(locale);
  if (user) state.current = user;
  return true;
}

std::string ReplacePlaceholders(std::string_view text, const std::vector<Variant>* args) {
  std::string result(text);
  if (!args) return result;
  size_t position = 0;
  for (const Variant& arg : *args) {
    size_t found = std::string::npos;
    for (size_t i = position; i + 1 < result.size(); ++i) {
      if (result[i] == '%' && (result[i + 1] == 's' || result[i + 1] == 'S')) {
        found = i;
        break;
      }
    }
    if (found == std::string::npos) continue;
    std::string inserted = Convert::ToText(arg);
    result.replace(found, 2, inserted);
    position = found + inserted.size();
  }
  return result;
}

std::string GetLangString(int32_t id, const std::vector<Variant>& args) {
  if (!state.current && !state.appName.empty()) LoadLanguage(state.appName);
  if (!state.current) return {};
  std::string text = ReadString(state.current, id);
  if (text.empty()) text = ReadString(state.english, id);
  if (text.empty()) return {};
  return ReplacePlaceholders(text, &args);
}

std::string GetLangString(int32_t id) {
  if (!state.current && !state.appName.empty()) LoadLanguage(state.appName);
  if (!state.current) return {};
  std::string text = ReadString(state.current, id);
  if (text.empty()) text = ReadString(state.english, id);
  return text;
}

std::string GetLangString(int32_t id, std::initializer_list<Variant> args) {
  return GetLangString(id, std::vector<Variant>(args));
}

LanguageLibrary CurrentLibrary() { return state.current; }
LanguageLibrary EnglishLibrary() { return state.english; }

void ResetForTesting() { state = LanguageState{}; }

}  // namespace qx6::modLanguage
