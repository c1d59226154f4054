// The page's companion commands: whatever the page sends, the file picker is only asked for (the
// side bar window opens it later) and the word-pick search only started.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/command_dispatcher.h"
#include "config/app_config.h"
#include "bridge/page_services.h"
#include "tests/support/recording_host.h"
#include "tests/support/registry_backup.h"

namespace velmora {
namespace {

using Calls = test::RecordingHost::Calls;

class CompanionServices final : public PageServices {
 public:
  using PageServices::PageServices;
  std::vector<std::wstring> seen;
  bool assistant = false, word_pick = false;
  void RunTool(PageTool tool) override { seen.push_back(L"tool " + std::to_wstring(static_cast<int>(tool))); }
  bool IsAssistantPresent() override { return assistant; }
  void OpenUploadPicker(HWND) override { seen.push_back(L"picker"); }
  bool IsWordPickPresent() override { return word_pick; }
  void StartWordPick() override { seen.push_back(L"word pick"); }
};

TEST(CompanionCommands, HostileArgumentsOnlyAskForThePickerOrStartWordPick) {
  test::ScopedRegistryBackup settings_key{HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora"};
  CAppConfigMgr settings;
  const std::string huge(1 << 20, 'a');
  const struct {
    const char* name;
    std::string arguments;
    Calls scripts, actions, seen;
    bool assistant = true, word_pick = true;
  } cases[] = {
      {"callUploadToKelu", R"(["", "{\"callbackName\":\"u\"}"])", {L"script u()"}, {L"post 0x1405"}, {}},
      {"callUploadToKelu", "[\"\", \"{\\\"callbackName\\\":\\\"" + huge + "\\\"}\"]", {L"script " + std::wstring(huge.begin(), huge.end()) + L"()"},
       {L"post 0x1405"}, {}},
      {"callUploadToKelu", "\xFF\xFE{[", {}, {L"post 0x1405"}, {}},
      {"callUploadToKelu", R"(["", "{\"callbackName\":7}"])", {}, {L"post 0x1405"}, {}},
      {"callUploadToKelu", "[\"\", \"" + huge + "\"]", {}, {L"post 0x1405"}, {}},
      // Each presence question asks its own companion, whatever the other one answers.
      {"isKeluExist", R"(["", "{\"callbackName\":\"k\"}"])", {L"script k(1)"}, {}, {}, true, false},
      {"isKeluExist", R"(["", "{\"callbackName\":\"k\"}"])", {L"script k(0)"}, {}, {}, false, true},
      {"isWordProcessingExist", R"(["", "{\"callbackName\":\"w\"}"])", {L"script w(1)"}, {}, {}, false, true},
      {"isWordProcessingExist", R"(["", "{\"callbackName\":\"w\"}"])", {L"script w(0)"}, {}, {}, true, false},
      {"startupWordProcessing", "null", {}, {}, {L"word pick"}},
      {"runTools", R"(["", "{\"tool\":\"wORDpROCESS\"}"])", {}, {}, {L"tool 4"}},
      {"runTools", R"(["", "{\"tool\":\"WordProcess \"}"])", {}, {}, {}},
  };
  for (const auto& c : cases) {
    CompanionServices services(settings);
    services.assistant = c.assistant;
    services.word_pick = c.word_pick;
    test::RecordingHost host;
    DispatchPageCall(host, services, "", c.name, c.arguments.c_str());
    EXPECT_EQ(host.scripts, c.scripts) << c.name << " " << c.arguments.substr(0, 60);
    EXPECT_EQ(host.actions, c.actions) << c.name << " " << c.arguments.substr(0, 60);
    EXPECT_EQ(services.seen, c.seen) << c.name << " " << c.arguments.substr(0, 60);
  }
}

}  // namespace
}  // namespace velmora
