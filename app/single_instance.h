// The one-instance rule of the side bar process.
#pragma once

namespace velmora {

// Takes the instance mutex. When another process already holds it, asks that process's side
// bar window (if one exists yet) to show itself and returns true. Returns false when this
// process is the only instance, including when the mutex cannot be created at all.
// The mutex handle is kept open for the life of the process.
bool IsAnotherInstanceRunning();

}  // namespace velmora
