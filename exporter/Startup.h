// Start-up of the component on a host thread: the thread's branding object,
// its language libraries, and the copy of earlier configuration files. Runs
// once per thread, before the first object of that thread serves a call.
#pragma once

namespace qx6 {

// The start-up routine itself.
void Main();
// Runs Main on this thread unless it already ran here.
void EnsureStartedOnThisThread();

}  // namespace qx6
