// Stand-in for the browser's programs (Ravida.exe, Rizozerudu.exe, Installer\setup.exe): the
// locator only looks at their presence and version resources. Started anyway, each records its
// command line and ends.
#include <windows.h>

#include "standins/common/standin_log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  standin::Log(BROWSER_PROGRAM_NAME, "started %s", standin::Narrow(command_line).c_str());
  return 0;
}
