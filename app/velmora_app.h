// The program's entry: start-up steps common to every mode, the run modes, the exit steps.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// Runs the whole process on the main thread. Always returns 0; the side bar's shutdown ends the
// process from inside instead of returning.
int RunVelmora(HINSTANCE instance);

// The launch source recorded from the `from` switch ("promotion" after the promotion prompt).
std::wstring LaunchSource();

}  // namespace velmora
