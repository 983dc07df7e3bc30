#include "host/ProductPaths.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/ShellFolders.h"

namespace qx6::host {

std::string ProductFolder() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return self.parent_path().parent_path().string();
}

std::vector<std::string> ComponentLibraries() {
  const std::string product = ProductFolder();
  std::vector<std::string> libraries = {product + "/lib/libqx6expinf.so"};
  std::vector<std::string> exporters;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(product + "/exporters", ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".so") exporters.push_back(it->path().string());
  }
  std::sort(exporters.begin(), exporters.end());
  libraries.insert(libraries.end(), exporters.begin(), exporters.end());
  return libraries;
}

std::string DefaultDatabasePath() {
  std::string data;
  // The XDG rules: a relative XDG_DATA_HOME is ignored.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data = std::string(home) + "/.local/share";
  } else {
    return "";
  }
  return data + "/quorvex/qx6jobs.db";
}

std::string SamplesFolder() {
  const std::filesystem::path product = ProductFolder();
  // Installed, the product folder is <prefix>/lib/<multiarch>/quorvex.
  for (const std::filesystem::path& folder :
       {product / "samples", product.parent_path().parent_path().parent_path() / "share/quorvex/samples"}) {
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec)) return folder.lexically_normal().string();
  }
  return {};
}

std::string ConfigurationFolder() {
  const std::string documents = platform::SHGetSpecialFolderPath(platform::CSIDL_PERSONAL);
  if (documents.empty()) return {};
  return documents + (documents.back() == '/' ? "" : "/") + "Quorvex Inc/Quorvex/6.0/FlatFileExport/";
}

}  // namespace qx6::host
