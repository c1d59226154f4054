#include "app/velmora_services.h"

#include "config/app_config.h"
#include "platform/http_client.h"
#include "platform/suite_folder.h"
#include "view/engine_locator.h"

namespace velmora {

CVelmoraServices::CVelmoraServices(CAppConfigMgr& settings)
    : PageServices(settings),
      cloud_list_(settings, CHttpClient::Instance()),
      weather_(CHttpClient::Instance()),
      system_info_([] { return CEngineLocator::Instance().EngineVersion(); }),
      tool_launcher_(&GetSuiteFolder, &IsWindows10OrLater),
      kelu_ai_([&settings] { return settings.GetUploadExclusions(); }) {}

CVelmoraServices::~CVelmoraServices() = default;

void CVelmoraServices::StartWorkers(const CWindowSlot& side_bar) {
  cloud_list_.Start(side_bar);
  weather_.Start(side_bar);
  // The exclusions are read here, on the main thread: the settings store fills them in lazily.
  common_used_.Start(settings().GetRecentExclusions());
}

void CVelmoraServices::StopWeatherWorker() { weather_.Stop(); }

std::optional<std::string> CVelmoraServices::RecommendedToolsText() {
  cloud_list_.WaitForWorker();
  return cloud_list_.GetListText();
}

void CVelmoraServices::RefreshCloudList() {
  if (cloud_list_.enabled()) cloud_list_.ForceRefresh();
}

std::optional<Json::Value> CVelmoraServices::CachedWeather() {
  Json::Value weather;
  if (!weather_.ReadCache(&weather)) return std::nullopt;
  return weather;
}

void CVelmoraServices::RefreshWeather() { weather_.RequestRefresh(); }

void CVelmoraServices::SetWeatherCity(const std::wstring& city) { weather_.SetCity(city); }

// --- system information and the tool launcher ---

std::optional<std::string> CVelmoraServices::SystemInfoJson() { return system_info_.GetSystemInfoJson(); }

std::optional<std::string> CVelmoraServices::LocalTopJson() { return tool_launcher_.GetLocalTop(); }

bool CVelmoraServices::IsStickyNotePresent() { return tool_launcher_.IsStickyNoteAvailable(); }

void CVelmoraServices::RunTool(PageTool tool) {
  switch (tool) {
    case PageTool::kStickyNote: tool_launcher_.LaunchStickyNote(); break;
    case PageTool::kCalc: tool_launcher_.LaunchCalculator(); break;
    case PageTool::kScreenCapture: tool_launcher_.LaunchScreenCapture(); break;
    case PageTool::kQuickFind: tool_launcher_.LaunchDesktopSearch(); break;
    case PageTool::kWordProcess: word_pick_.StartTranslate(); break;
  }
}

void CVelmoraServices::RecordToolUse(const std::wstring& id) { tool_launcher_.RecordToolUse(id); }

bool CVelmoraServices::IsInstalledWithKey(const std::wstring& key) { return tool_launcher_.IsInstalled(key); }

void CVelmoraServices::StartFeedback(const std::wstring& command_line) { tool_launcher_.LaunchFeedback(command_line); }
std::optional<std::string> CVelmoraServices::CommonlyUsedJson() { return common_used_.GetReply(); }

// --- the AI assistant and the word-pick search ---

bool CVelmoraServices::IsAssistantPresent() { return kelu_ai_.IsAssistantReady(); }

void CVelmoraServices::OpenUploadPicker(HWND owner) { kelu_ai_.ChooseAndSendFiles(owner); }

bool CVelmoraServices::IsWordPickPresent() { return word_pick_.Resolve(); }

void CVelmoraServices::StartWordPick() { word_pick_.StartTranslate(); }

}  // namespace velmora
