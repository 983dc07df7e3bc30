// Where the host finds the product around it (the folder above its bin/)
// and where it keeps the user's job database when none is named.
#pragma once

#include <string>
#include <vector>

namespace qx6::host {

// The product folder: the parent of the folder holding this program.
std::string ProductFolder();
// The component libraries the product ships: the host type library first,
// then every library in exporters/.
std::vector<std::string> ComponentLibraries();
// $XDG_DATA_HOME/quorvex/qx6jobs.db (or ~/.local/share/...): the job
// database used when none is named; empty without HOME.
std::string DefaultDatabasePath();

// The sample configurations the product ships: product/samples in the
// staged product, <prefix>/share/quorvex/samples when installed; empty when
// neither is there.
std::string SamplesFolder();
// Where the flat-file exporter keeps the user's configurations: the
// documents folder's "Quorvex Inc/Quorvex/6.0/FlatFileExport/"; empty
// without a documents folder.
std::string ConfigurationFolder();

}  // namespace qx6::host
