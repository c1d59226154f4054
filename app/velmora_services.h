// CVelmoraServices: the program's one services object. The providers and companions built into
// the program are its members; each PageServices operation whose provider is here forwards to
// it, the rest keep PageServices' answer for a missing component. Made once at start, before the
// browser shell runs, and passed down; main thread unless an operation says otherwise.
#pragma once

#include "bridge/page_services.h"
#include "providers/system_info.h"
#include "providers/tool_launcher.h"

namespace velmora {

class CAppConfigMgr;

class CVelmoraServices final : public PageServices {
 public:
  explicit CVelmoraServices(CAppConfigMgr& settings);
  ~CVelmoraServices() override;

  // System information and the tool launcher.
  std::optional<std::string> SystemInfoJson() override;
  std::optional<std::string> LocalTopJson() override;
  bool IsStickyNotePresent() override;
  void RunTool(PageTool tool) override;
  void RecordToolUse(const std::wstring& id) override;
  bool IsInstalledWithKey(const std::wstring& key) override;
  void StartFeedback(const std::wstring& command_line) override;

 private:
  CSystemInfo system_info_;
  CToolLauncher tool_launcher_;
};

}  // namespace velmora
