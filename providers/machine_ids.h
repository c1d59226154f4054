// The machine's two identifiers, asked of BaseCore.dll's machine-identifier objects. Each is kept
// for the process once a read gave a non-empty text; an empty or failed read is tried again at
// the next call. Any thread.
#pragma once

#include <string>

namespace velmora {

std::wstring MachineId();        // "mid"
std::wstring SecondMachineId();  // "m2"

}  // namespace velmora
