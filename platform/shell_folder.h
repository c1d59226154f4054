// The shell's special folders by CSIDL number. Any thread.
#pragma once

#include <string>

namespace velmora {

// The path of shell folder `csidl` (CSIDL_APPDATA, CSIDL_WINDOWS, ...), not created when missing.
// Empty when the shell does not know it.
std::wstring GetShellFolder(int csidl);

}  // namespace velmora
