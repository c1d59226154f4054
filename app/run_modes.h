// The run modes of the one executable and the order in which the command line selects them.
#pragma once

#include <string_view>

#include "app/command_line.h"

namespace velmora {

// The work of each mode. The entry point supplies the real steps; tests supply a recorder.
class IRunModeActions {
 public:
  virtual void RunEngineChild() = 0;
  virtual void EnableSideBar() = 0;
  virtual void Uninstall() = 0;
  virtual void Promotion() = 0;
  virtual bool IsSideBarSwitchOn() = 0;
  virtual void NormalStart() = 0;

 protected:
  ~IRunModeActions() = default;
};

// A browser shell child is recognised in the whole command line ("--type", case-sensitive)
// before the table is parsed at all.
bool IsEngineChildCommandLine(std::wstring_view command_text);

// The table rows after the engine-child test, in their order; the first that applies decides,
// except that `inst` goes on to the rows below it.
void RunModeForSwitches(const CCommandLine& table, IRunModeActions& actions);

}  // namespace velmora
