// The suite libraries every mode loads at start and releases at exit: HostKit.dll with its two
// service objects and FaultSink.dll (crash reporting). Main thread only.
#pragma once

namespace velmora {

// Loads both libraries from the suite folder through the trusted loader, creates and starts the
// HostKit objects, and initialises FaultSink. Anything missing or refused is skipped.
void LoadCompanionLibraries();

// FaultSink.dll's OnExiting, when the library is loaded.
void NotifyFaultSinkExiting();

// The common exit steps: FaultSink told, each HostKit object stopped and released, HostKit.dll
// unloaded.
void ReleaseCompanionLibraries();

}  // namespace velmora
