// CVelmoraServices: the program's one services object. The providers and companions built into
// the program are its members; each PageServices operation whose provider is here forwards to
// it, the rest keep PageServices' answer for a missing component. Made once at start, before the
// browser shell runs, and passed down; main thread unless an operation says otherwise.
#pragma once

#include "bridge/page_services.h"
#include "companions/kelu_ai.h"
#include "companions/word_pick.h"
#include "providers/cloud_list.h"
#include "providers/system_info.h"
#include "providers/tool_launcher.h"
#include "providers/common_used.h"
#include "providers/weather.h"

namespace velmora {

class CAppConfigMgr;

class CVelmoraServices final : public PageServices {
 public:
  explicit CVelmoraServices(CAppConfigMgr& settings);
  ~CVelmoraServices() override;

  void StartWorkers(const CWindowSlot& side_bar) override;
  void StopWeatherWorker() override;

  // Cloud tool list.
  std::optional<std::string> RecommendedToolsText() override;
  void RefreshCloudList() override;

  // Weather.
  std::optional<Json::Value> CachedWeather() override;
  void RefreshWeather() override;
  void SetWeatherCity(const std::wstring& city) override;

  // System information and the tool launcher.
  std::optional<std::string> SystemInfoJson() override;
  std::optional<std::string> LocalTopJson() override;
  bool IsStickyNotePresent() override;
  void RunTool(PageTool tool) override;
  void RecordToolUse(const std::wstring& id) override;
  bool IsInstalledWithKey(const std::wstring& key) override;
  void StartFeedback(const std::wstring& command_line) override;

  // Commonly used items.
  std::optional<std::string> CommonlyUsedJson() override;

  // The AI assistant and the word-pick search.
  bool IsAssistantPresent() override;
  void OpenUploadPicker(HWND owner) override;
  bool IsWordPickPresent() override;
  void StartWordPick() override;

 private:
  CCloudRequestMgr cloud_list_;
  CWeatherMgr weather_;
  CSystemInfo system_info_;
  CToolLauncher tool_launcher_;
  CCommonUsedMgr common_used_;
  CKeluAIMgr kelu_ai_;
  CGetWordMgr word_pick_;
};

}  // namespace velmora
