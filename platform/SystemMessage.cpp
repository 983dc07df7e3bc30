#include "platform/SystemMessage.h"

namespace qx6::platform {

std::optional<std::string> FormatSystemMessage(DWORD code) {
  switch (code) {
    case 0: return "The operation completed successfully.";
    case 1: return "Incorrect function.";
    case 2: return "The system cannot find the file specified.";
    case 3: return "The system cannot find the path specified.";
    case 4: return "The system cannot open the file.";
    case 5: return "Access is denied.";
    case 6: return "The handle is invalid.";
    case 8: return "Not enough memory resources are available to process this command.";
    case 87: return "The parameter is incorrect.";
    case 112: return "There is not enough space on the disk.";
    case 161: return "The specified path is invalid.";
    case 206: return "The filename or extension is too long.";
    case 234: return "More data is available.";
    case 259: return "No more data is available.";
    case 1009: return "The configuration registry database is corrupt.";
    case 1010: return "The configuration registry key is invalid.";
    case 1011: return "The configuration registry key could not be opened.";
    case 1012: return "The configuration registry key could not be read.";
    case 1013: return "The configuration registry key could not be written.";
    case 1015:
      return "The registry is corrupted. The structure of one of the files containing registry data is "
             "corrupted, or the system's memory image of the file is corrupted, or the file could not be "
             "recovered because the alternate copy or log was absent or corrupted.";
    case 1016:
      return "An I/O operation initiated by the registry failed unrecoverably. The registry could not read "
             "in, or write out, or flush, one of the files that contain the system's image of the registry.";
    case 1018: return "Illegal operation attempted on a registry key that has been marked for deletion.";
    case 1131: return "A potential deadlock condition has been detected.";
    case 6701: return "The requested operation was made in the context of a transaction that is no longer active.";
    case 6704:
      return "It is too late to perform the requested operation, since the Transaction has already been aborted.";
    default: return std::nullopt;
  }
}

}  // namespace qx6::platform
