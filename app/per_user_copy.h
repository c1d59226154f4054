// The per-user copy of the program: the side bar runs from the user's application-data folder
// once installed, so that suite updates can replace the installed file while it runs.
#pragma once

#include <string>

namespace velmora {

// "Vuqsafe\Velmora\Velmora.exe" under the user's application-data folder; empty when the folder
// cannot be found or made.
std::wstring PerUserCopyPath();

// Makes sure the per-user copy exists, is trusted and is not older than the running file (copying
// the running file over it when needed). On success the run path becomes the copy's path.
// `running_file` must pass the trust check first. Main thread.
bool PreparePerUserCopy(const std::wstring& running_file);

// The path from which the side bar is to run (kept by the settings store): the running file, or
// its per-user copy once made.
std::wstring RunPath();

}  // namespace velmora
