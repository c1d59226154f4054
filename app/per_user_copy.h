// The per-user copy of the program: the side bar runs from the user's application-data folder
// once installed, so that suite updates can replace the installed file while it runs.
#pragma once

#include <string>

namespace velmora {

// "Vuqsafe\Velmora\Velmora.exe" under the user's application-data folder; empty when the folder
// cannot be found or made.
std::wstring PerUserCopyPath();

// Deletes the per-user copy (the elevated uninstaller does): only that very file, with no junction
// or link between the application-data folder and it (DeleteFileExactly). False when nothing was
// deleted.
bool DeletePerUserCopy();

// Makes sure the per-user copy exists, is trusted and is not older than the running file (copying
// the running file over it when needed). On success the run path becomes the copy's path.
// `running_file` must pass the trust check first. Main thread.
bool PreparePerUserCopy(const std::wstring& running_file);

// What a normal start does before the side bar runs. The per-user copy sits in a folder any
// process of the user can write, so it is never started with an elevated token: an elevated
// process first drops elevation (the dropped process, started with "/lowrun", then decides
// again), and where that is impossible runs in place from where it is.
enum class StartPlan { kDropElevation, kRunFromCopy, kRunInPlace };

struct StartFacts {
  bool elevated = false;         // this process's token is elevated
  bool can_drop = false;         // a non-elevated start of this program is possible
  bool dropped = false;          // started as the non-elevated start ("/lowrun")
  bool rerun = false;            // started from the copy ("/rerun")
  bool in_suite_folder = false;  // this program lies in the suite folder
};

// The plan for `facts`: an elevated process drops elevation when it was not started as the
// dropped one and can drop, else runs in place; a process that is not elevated makes and starts
// the copy when it runs from the suite folder and was not started from the copy, else runs in
// place. Pure.
StartPlan PlanStart(const StartFacts& facts);

// The path from which the side bar is to run (kept by the settings store): the running file, or
// its per-user copy once made.
std::wstring RunPath();

}  // namespace velmora
