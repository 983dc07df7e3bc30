#include "config/modFlatFile.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/ComponentFile.h"
#include "platform/FileAttributes.h"
#include "runtime/Strings.h"
#include "system/modShellFunctions.h"

namespace qx6::modFlatFile {
namespace {

constexpr std::string_view CurrentSubfolder = "Quorvex Inc/Quorvex/6.0/FlatFileExport/";
constexpr std::string_view EarlierSubfolder = "/Quorvex Inc/Quorvex/5.0/FlatFileExport/";

// The entries a search for `pattern` + "*.cfg" finds: files of the pattern's
// folder whose names start with the text after its last "/" and end in
// ".cfg" (letter case ignored, as the original file system did), by name.
// Only regular files count.
std::vector<std::string> FindConfigFiles(const std::string& pattern) {
  auto slash = pattern.rfind('/');
  std::string folder = slash == std::string::npos ? "." : pattern.substr(0, slash + 1);
  std::string prefix = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  std::vector<std::string> names;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    // Only regular files (a link to one too): a FIFO or a device would
    // block the listing or feed it without end.
    if (!it->is_regular_file(ec) || ec) {
      ec.clear();
      continue;
    }
    std::string name = it->path().filename().string();
    if (name.size() < prefix.size() + 4) continue;
    if (!Strings::EqualsText(std::string_view(name).substr(name.size() - 4), ".cfg")) continue;
    if (!Strings::EqualsText(std::string_view(name).substr(0, prefix.size()), prefix)) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

std::string ConfigFolder(const std::string& overrideFolder) {
  if (!overrideFolder.empty()) return overrideFolder;
  std::string folder = modShellFunctions::GetDocumentsFolder();
  if (folder.empty()) folder = platform::ComponentFolder();
  if (folder.empty() || folder.back() != '/') folder += '/';
  folder += CurrentSubfolder;
  return folder;
}

std::string ConfigFileName(const std::string& configName) {
  std::string name = configName;
  for (char& c : name) {
    switch (c) {
      case '/': case '\\': case '.': case '"': case '\'': case '?':
      case '*': case '>': case '<': case '|': case ':': c = '_'; break;
      default: break;
    }
  }
  return Strings::LCase(name);
}

Variant ConfigurationList(const ExportConfigs& configs) {
  if (configs.Count() == 0) return Variant::Null();
  Variant list = Variant::Array2D(configs.Count(), 2);
  VariantArray rows = list.ArrayValue();
  for (int32_t r = 0; r < configs.Count(); ++r) {
    rows.At(r, 0) = Variant::Integer(static_cast<int16_t>(r + 1));
    rows.At(r, 1) = Variant::String(configs.Item(r + 1)->Name());
  }
  return list;
}

Variant LoadConfigurations(ExportConfigs& configs, int16_t numDecimals, const std::string& overrideFolder,
                           const std::string& rememberedName, int32_t& configId) {
  auto builtIn = std::make_shared<ExportConfig>();
  builtIn->SetName("<Default>");
  builtIn->SetIsDefault(true);
  builtIn->SetColumnsToDefault();
  builtIn->SetNumDecimalPlaces(numDecimals);
  configs.Add(builtIn, builtIn->Name());

  const std::string folder = ConfigFolder(overrideFolder);
  if (modShellFunctions::CreateFolderPath(folder)) {
    for (const std::string& fileName : FindConfigFiles(folder)) {
      auto config = std::make_shared<ExportConfig>();
      if (!config->Load(folder + fileName)) continue;
      // Every configuration is keyed by its name, the empty one included.
      if (configs.Contains(config->Name())) continue;
      configs.Add(config, config->Name());
    }
  }

  Variant list = ConfigurationList(configs);
  for (int32_t id = 1; id <= configs.Count(); ++id) {
    if (Strings::EqualsText(configs.Item(id)->Name(), rememberedName)) configId = id;
  }
  return list;
}

void MigrateEarlierSettings() noexcept {
  try {
    const std::string current = ConfigFolder("");
    if (!modShellFunctions::CreateFolderPath(current)) return;
    const std::string earlier = modShellFunctions::GetDocumentsFolder() + std::string(EarlierSubfolder);
    for (const std::string& name : FindConfigFiles(earlier)) {
      // "Mig.cfg" and "mig.cfg" name one file, as on the original platform.
      if (!platform::FindEntryName(current, name).empty()) continue;
      std::error_code ec;
      std::filesystem::copy_file(earlier + name, current + name, ec);
    }
  } catch (...) {
    // Migration never reports anything.
  }
}

}  // namespace qx6::modFlatFile
