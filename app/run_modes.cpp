#include "app/run_modes.h"

namespace velmora {

bool IsEngineChildCommandLine(std::wstring_view command_text) {
  return command_text.find(L"--type") != std::wstring_view::npos;
}

void RunModeForSwitches(const CCommandLine& table, IRunModeActions& actions) {
  if (table.SwitchCount() == 0) {
    actions.NormalStart();
    return;
  }
  // `inst` is the one row that goes on to the rows below it: an install normally also starts.
  if (table.HasSwitch(L"inst")) actions.EnableSideBar();
  if (table.HasSwitch(L"inst_norun")) {
    actions.EnableSideBar();
    return;
  }
  if (table.HasSwitch(L"uninst")) {
    actions.Uninstall();
    return;
  }
  if (table.HasSwitch(L"p") || table.HasSwitch(L"promotion")) {
    actions.Promotion();
    return;
  }
  if (table.HasSwitch(L"start")) {
    if (actions.IsSideBarSwitchOn()) actions.NormalStart();
    return;
  }
  actions.NormalStart();
}

}  // namespace velmora
