#include "bridge/command_dispatcher.h"

#include <string_view>

#include "bridge/page_commands.h"

namespace velmora {
namespace {

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct Command {
  const char* name;
  PageCommand run;
};

// In matching order.
constexpr Command kCommands[] = {
    {"Show", &ShowCommand},
    {"ShowFull", &ShowFullCommand},
    {"Close", &CloseCommand},
    {"closeModal", &CloseCommand},
    {"getSystemInfo", &GetSystemInfo},
    {"getUserInfo", &GetUserInfo},
    {"SetTopMost", &SetTopMost},
    {"CancelTopMost", &CancelTopMost},
    {"MoveStart", &MoveStartCommand},
    {"MoveEnd", &MoveEndCommand},
    {"runDownloader", &RunByShell},
    {"runCmd", &RunByShell},
    {"runExternalCmd", &RunByHostKit},
    {"runSafeCmd", &RunByShell},
    {"OpenLogin", &OpenLogin},
    {"ShowLogin", &OpenLogin},
    {"IsInClient", &IsInClient},
    {"OpenUrl", &OpenUrl},
    {"FeedBack", &FeedBack},
    {"Decrypt", &DecryptCommand},
    {"Encrypt", &EncryptCommand},
    {"ShowDevTools", &ShowDevTools},
    {"getWeather", &GetWeather},
    {"settingsCenter", &SettingsCenter},
    {"getCommonlyUsedData", &GetCommonlyUsedData},
    {"getRecommendedTools", &GetRecommendedTools},
    {"getLocalTop", &GetLocalTop},
    {"setWeatherCity", &SetWeatherCity},
    {"IsStickyNoteExist", &IsStickyNoteExist},
    {"runTools", &RunTools},
    {"startReport", &StartReport},
    {"isInstalledWithKey", &IsInstalledWithKey},
    {"callUploadToKelu", &CallUploadToKelu},
    {"isKeluExist", &IsKeluExist},
    {"isWordProcessingExist", &IsWordProcessingExist},
    {"startupWordProcessing", &StartupWordProcessing},
    {"createShortcut", &CreateShortcutCommand},
    {"getSettings", &GetSettings},
    {"setSettings", &SetSettings},
    {"hasShortcut", &HasShortcut},
    {"isAutoStart", &IsAutoStart},
    {"navigateOnline", &NavigateOnline},
};
static_assert(sizeof(kCommands) / sizeof(kCommands[0]) == 42, "the page's 42 commands");

}  // namespace

void DispatchPageCall(PageHost& host, PageServices& services, const char* first, const char* name,
                      const char* arguments) {
  if (!first || !name) return;
  for (const Command& command : kCommands) {
    if (EqualsAsciiNoCase(name, command.name)) {
      PageCall call{host, services};
      command.run(call, arguments);
      return;
    }
  }
}

}  // namespace velmora
