// What the host tells the user when the registry stands in the way: the
// system's words for the code, the file (and line) at fault, and what to do
// next, never a bare status code.
#pragma once

#include <string>

#include "platform/Win32Types.h"
#include "runtime/Object.h"

namespace qx6::host {

using platform::LONG;

// The Win32 code inside an HRESULT of the Win32 facility; 0 for others.
LONG Win32CodeOf(HRESULT status);

// "<system text> (<file>, line N: <what>); <next step>" for a registry
// call that answered `status` on this thread just now.
std::string RegistryFailure(LONG status);

// Why the component of `progId` cannot be found or created: a damaged
// registry, or no registration (then: run qx6export register).
std::string ComponentUnavailable(const std::string& progId, HRESULT status);

// Why registering or unregistering `library` failed; `detail` is what the
// loader said, if anything.
std::string RegistrationFailure(const std::string& library, HRESULT status, const std::string& detail,
                                bool unregister, bool perUser);

}  // namespace qx6::host
