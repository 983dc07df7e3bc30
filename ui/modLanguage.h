// Localised strings: every text the component shows comes from a language
// library by numeric string ID, in the user's language with English as the
// fallback, "%s" placeholders filled from arguments. State is per thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ResourceModule.h"
#include "runtime/Variant.h"

namespace qx6::modLanguage {

using LanguageLibrary = std::shared_ptr<const platform::ResourceModule>;

// Loads the English and the user's library of `appName` ("qx6jeflt").
// True when the English library was found and loaded.
bool LoadLanguage(const std::string& appName);
void UnloadLanguage();

// The text of string `id` (at most 511 characters, as the code page holds
// it) with its placeholders filled; empty when neither library has it.
std::string GetLangString(int32_t id);
std::string GetLangString(int32_t id, std::initializer_list<Variant> args);
std::string GetLangString(int32_t id, const std::vector<Variant>& args);

// Each argument fills the next "%s" (or "%S") after the previous insertion;
// inserted text is never searched again; extra arguments are ignored.
std::string ReplacePlaceholders(std::string_view text, const std::vector<Variant>* args);

// The "lang" folder found upward from the component's folder; cached.
std::string GetLanguageFolder();
// The "LocaleId" setting, else the user's locale.
int32_t GetUserLocaleId();
// The "LocaleId" value of HKEY_CURRENT_USER\Software\Quorvex 6 as a Long,
// or -1 when it is missing or empty.
Variant ReadLocaleIdSetting();
// The first numeric folder whose low language byte matches `locale`'s.
LanguageLibrary FindLanguageLibrary(int32_t locale);
bool PathExists(const std::string& path);

// What is loaded on this thread (for tests and diagnostics).
LanguageLibrary CurrentLibrary();
LanguageLibrary EnglishLibrary();
// Forgets the cached folder, the libraries and the application name.
void ResetForTesting();

}  // namespace qx6::modLanguage
