// The one-instance rule of the side bar process.
#pragma once

namespace velmora {

// Takes the mutex `mutex_name`. When another process already holds it, asks that process's side
// bar window (class `window_class`, if one exists yet) to show itself and returns true. Returns
// false when this process is the only instance, including when the mutex cannot be created at
// all. The mutex handle is kept open for the life of the process.
bool IsAnotherInstanceRunning(const wchar_t* mutex_name, const wchar_t* window_class);

}  // namespace velmora
