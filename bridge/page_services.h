// PageServices: the one services object the program builds at start and passes down to the side
// bar and its page commands. It holds the settings store and stands for the providers (cloud
// tool list, commonly used items, weather, system information, tool launcher) and companions (AI
// assistant, word-pick search) behind the page's commands and events.
//
// Each provider operation below answers as for a missing component (no data, false, nothing
// started) until that provider is built into the program: a provider becomes a member of the
// services object and the operation forwards to it. Tests derive to stand in for providers.
// Main thread unless an operation says otherwise.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include <json/value.h>

#include "platform/window_slot.h"

namespace velmora {

class CAppConfigMgr;

enum class PageTool { kStickyNote, kCalc, kScreenCapture, kQuickFind, kWordProcess };

class PageServices {
 public:
  explicit PageServices(CAppConfigMgr& settings) : settings_(settings) {}
  virtual ~PageServices() = default;
  PageServices(const PageServices&) = delete;
  PageServices& operator=(const PageServices&) = delete;

  CAppConfigMgr& settings() const { return settings_; }

  // --- workers, started with the side bar window and stopped by its shutdown ---
  // Starts the workers that post to `side_bar` (cloud tool list, weather, commonly used items)
  // of the providers built in.
  virtual void StartWorkers(const CWindowSlot& /*side_bar*/) {}
  // Tells the weather worker to quit.
  virtual void StopWeatherWorker() {}

  // --- providers ---
  virtual std::optional<std::string> SystemInfoJson() { return std::nullopt; }       // with its line feed
  virtual std::optional<Json::Value> CachedWeather() { return std::nullopt; }
  virtual void RefreshWeather() {}
  virtual void SetWeatherCity(const std::wstring& /*city*/) {}
  virtual std::optional<std::string> CommonlyUsedJson() { return std::nullopt; }     // waits for its worker
  virtual std::optional<std::string> RecommendedToolsText() { return std::nullopt; } // waits for its worker
  virtual void RefreshCloudList() {}                                                  // timer 3606
  virtual std::optional<std::string> LocalTopJson() { return std::nullopt; }
  virtual bool IsStickyNotePresent() { return false; }
  virtual void RunTool(PageTool /*tool*/) {}
  virtual void RecordToolUse(const std::wstring& /*id*/) {}
  virtual bool IsInstalledWithKey(const std::wstring& /*key*/) { return false; }
  virtual void StartFeedback(const std::wstring& /*command_line*/) {}

  // --- companions ---
  virtual bool IsAssistantPresent() { return false; }
  virtual void OpenUploadPicker(HWND /*owner*/) {}
  virtual bool IsWordPickPresent() { return false; }
  virtual void StartWordPick() {}

 private:
  CAppConfigMgr& settings_;
};

}  // namespace velmora
