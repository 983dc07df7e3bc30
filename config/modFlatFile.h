// The configuration store: the folder of the ".cfg" files, the file name of
// a configuration, the collection an exporter builds from the folder, and
// the copying of the previous release's files into it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/ExportConfig.h"
#include "runtime/Variant.h"

namespace qx6::modFlatFile {

// The override when it is not empty (unchanged); otherwise the documents
// folder (or the component's own folder when there is none) followed by
// "Quorvex Inc/Quorvex/6.0/FlatFileExport/".
std::string ConfigFolder(const std::string& overrideFolder);

// The name with / \ . " ' ? * > < | : replaced by "_", in lower case.
std::string ConfigFileName(const std::string& configName);

// Fills `configs` (new and empty) with "<Default>" and every readable
// configuration file of the folder, sorted by file name, dropping names
// already present (in any letter case; an empty name is a name too, so only
// the first nameless file is listed). Returns the list for the host (a
// rows x 2 array of identifier and name, Null when empty) and sets
// `configId` to the identifier of `rememberedName` when it is listed. A
// file with a value that cannot be converted raises that error, with
// `configs` kept as far as it was built.
Variant LoadConfigurations(ExportConfigs& configs, int16_t numDecimals, const std::string& overrideFolder,
                           const std::string& rememberedName, int32_t& configId);

// The host's list of identifiers and names for a collection.
Variant ConfigurationList(const ExportConfigs& configs);

// Copies the previous release's configuration files that the current folder
// lacks into it. Never fails.
void MigrateEarlierSettings() noexcept;

}  // namespace qx6::modFlatFile
