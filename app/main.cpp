// Velmora.exe: the side bar, its install and uninstall hooks, the promotion prompt and the
// browser shell's child process, chosen by the command line.
#include <windows.h>

#include "app/velmora_app.h"
#include "platform/system_functions.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
  // Before anything loads a library by name: no library is taken from the program's folder (a
  // file planted beside a copy of the program) or the current folder, only from the system's.
  velmora::RestrictLibrarySearchToSystemFolder();
  try {
    return velmora::RunVelmora(instance);
  } catch (...) {
    return 0;  // whatever happens, the exit code is 0
  }
}
