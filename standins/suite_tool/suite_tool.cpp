// Stand-in for the suite's small tools that the side bar starts (screen capture, desktop search,
// module updater, feedback, settings centre): each records the command line it was started with
// and ends.
// SUITE_TOOL_NAME names the tool in the stand-in log.
#include <windows.h>

#include "standins/common/standin_log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  standin::Log(SUITE_TOOL_NAME, "started %s", standin::Narrow(::GetCommandLineW()).c_str());
  return 0;
}
