// A services object whose providers answer what the test puts in its members, and record what
// they were asked to do.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "bridge/page_services.h"

namespace velmora::test {

class FakeServices final : public PageServices {
 public:
  using PageServices::PageServices;
  std::optional<std::string> system_info;
  std::optional<Json::Value> weather;
  bool sticky_note_present = false;
  std::vector<std::wstring> seen;

  std::optional<std::string> SystemInfoJson() override { return system_info; }
  std::optional<Json::Value> CachedWeather() override { return weather; }
  void RefreshWeather() override { seen.push_back(L"refresh"); }
  bool IsStickyNotePresent() override { return sticky_note_present; }
  void RunTool(PageTool tool) override { seen.push_back(L"tool " + std::to_wstring(static_cast<int>(tool))); }
};

}  // namespace velmora::test
