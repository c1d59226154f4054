// Velmora.exe: the side bar, its install and uninstall hooks, the promotion prompt and the
// browser shell's child process, chosen by the command line.
#include <windows.h>

#include "app/velmora_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/, int /*show*/) {
  try {
    return velmora::RunVelmora(instance);
  } catch (...) {
    return 0;  // whatever happens, the exit code is 0
  }
}
