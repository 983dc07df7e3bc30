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

}  // namespace qx6::host
