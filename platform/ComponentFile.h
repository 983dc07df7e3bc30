// The component's own file: the folder of the shared library the component
// was loaded from. The product's "lang", "common" and "help" folders are
// found from it, as the original found them from its DLL.
#pragma once

#include <string>

namespace qx6::platform {

// The folder of the component's file, without a trailing "/". Until the
// component records its file, the folder of the library holding `address`'s
// code (this platform library when `address` is null).
std::string ComponentFolder();

// The component records itself with the address of one of its functions.
void SetComponentFile(const void* address);
// Tests point the component at a folder of their own ("" restores).
void SetComponentFolderForTesting(const std::string& folder);

// The product folder `name` ("lang", "common") found upward from the
// component's folder: the first level holding it, else "/" + name at the
// root, whether or not that exists.
std::string FindFolderUpward(const std::string& name);

// True when the file system reports the path (a file or a folder).
bool PathExists(const std::string& path);

// The full path of the shared object holding `address` ("" when unknown).
std::string SharedObjectPath(const void* address);

}  // namespace qx6::platform
