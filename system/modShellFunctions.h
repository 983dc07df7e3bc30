// The few file-system helpers the rest of the system needs beyond plain
// file input and output: the shell's special folders, making a folder path
// exist, and testing whether a path can take an output file. None of them
// throws; failure is an empty text or False.
#pragma once

#include <cstdint>
#include <string>

namespace qx6::modShellFunctions {

// The special folder of a CSIDL identifier, without a trailing "/"; empty
// when it cannot be determined.
std::string GetSpecialFolderPath(int32_t plngFolderId);
// The user's documents folder (CSIDL_PERSONAL).
std::string GetDocumentsFolder();
// True when the path exists on return, creating the missing folders along
// it (those made before a failure stay).
bool CreateFolderPath(const std::string& pstrPath);
// True when the path names an existing file (pblnExisted True) or a file
// could be created there (pblnExisted False; the file is removed again). A
// folder, or a path where no file can be made, is False and leaves
// pblnExisted as it was.
bool IsValidFilePath(const std::string& pstrPath, bool& pblnExisted);

}  // namespace qx6::modShellFunctions
