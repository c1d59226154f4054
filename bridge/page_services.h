// The work some page commands and events hand to the providers (cloud tool list, commonly used
// items, weather, system information, tool launcher) and companions (AI assistant, word-pick
// search). Each provider fills its members when it is built into the program; an empty member
// means that provider is not part of this build, and the command answers as for a missing
// component (no data, "0", nothing started). Main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include <json/value.h>

namespace velmora {

enum class PageTool { kStickyNote, kCalc, kScreenCapture, kQuickFind, kWordProcess };

struct PageServices {
  std::function<std::string()> system_info_json;                 // getSystemInfo: the report, with its line feed
  std::function<std::optional<Json::Value>()> cached_weather;    // getWeather, the weather event
  std::function<void()> refresh_weather;                         // getWeather with retry
  std::function<void(const std::wstring& city)> set_weather_city;
  std::function<std::string()> commonly_used_json;               // waits for the collector
  std::function<std::string()> recommended_tools_text;           // waits for the cloud-list worker
  std::function<void()> refresh_cloud_list;                      // timer 3606
  std::function<std::string()> local_top_json;
  std::function<bool()> is_sticky_note_present;
  std::function<void(PageTool tool)> run_tool;                   // QuickFind: at the expiry of timer 3609
  std::function<void(const std::wstring& id)> record_tool_use;   // startReport
  std::function<bool(const std::wstring& key)> is_installed_with_key;
  std::function<void(const std::wstring& command_line)> start_feedback;
  std::function<bool()> is_assistant_present;                    // isKeluExist
  std::function<void(HWND owner)> open_upload_picker;            // WM_UPLOAD_TO_KELU
  std::function<bool()> is_word_pick_present;
  std::function<void()> start_word_pick;
};

// The process's services; providers fill their members at start-up, before the side bar exists.
PageServices& GetPageServices();

}  // namespace velmora
