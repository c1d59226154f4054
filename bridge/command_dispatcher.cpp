#include "bridge/command_dispatcher.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "account/account_reader.h"
#include "account/avatar_text.h"
#include "app/launch.h"
#include "app/shutdown.h"
#include "bridge/page_arguments.h"
#include "bridge/page_crypto.h"
#include "bridge/page_replies.h"
#include "bridge/page_services.h"
#include "config/app_config.h"
#include "platform/core_libraries.h"
#include "platform/module_path.h"
#include "platform/path_macros.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "view/messages.h"
#include "view/web_browser_event.h"

namespace velmora {
namespace {

using Controller = CWebBrowserEvent;

constexpr UINT kQuickFindDelayMs = 200;

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::wstring Callback(const PageArguments& args) { return args.String("callbackName"); }

// The three reply payloads: nothing, a JSON text (UTF-8), a digit.
void ReplyEmpty(Controller& c, const PageArguments& args) { c.SendCallback(Callback(args), L""); }
void ReplyJson(Controller& c, const std::wstring& callback, const std::string& json) {
  c.SendCallback(callback, Utf8ToWide(json));
}
void ReplyDigit(Controller& c, const std::wstring& callback, bool value) { c.SendCallback(callback, value ? L"1" : L"0"); }

void ShowCommand(Controller& c, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  c.MarkPageShown();
  c.PushSignInCookies();
  const int width = args.Integer("width"), height = args.Integer("height");
  // A negative size is no size: the shell is never handed one.
  if (width > 0 && height > 0) {
    c.SetPageSize(width, height);
    c.ShowCentered(width, height);
  }
  ReplyEmpty(c, args);
}

void ShowFullCommand(Controller& c, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  c.MarkPageShown();
  c.PushSignInCookies();
  c.StopPageLoadTimeout();
  c.ShowFullScreen();
  c.ShowBrowser();
  c.BringToFront(true);
  ReplyEmpty(c, args);
}

void CloseCommand(Controller& c, const char* text) {
  ReplyEmpty(c, PageArguments(text));
  ::PostMessageW(GetSideBarWindow(), WM_CLOSE, 0, 0);
}

void GetSystemInfo(Controller& c, const char* text) {
  const std::wstring callback = Callback(PageArguments(text));
  const auto& report = GetPageServices().system_info_json;
  if (callback.empty() || !report) return;
  ReplyJson(c, callback, report());
}

void GetUserInfo(Controller& c, const char* text) {
  const std::wstring callback = Callback(PageArguments(text));
  if (callback.empty()) return;
  if (!IsSignedIn()) {
    ReplyJson(c, callback, UserInfoJson(false, "", "", ""));
    return;
  }
  const AccountInfo account = ReadAccount();
  ReplyJson(c, callback, UserInfoJson(true, WideToUtf8(account.nick_name), WideToUtf8(account.qid),
                                      CAvatarText::Instance().Get(account.head_image)));
}

void SetTopMost(Controller& c, const char* text) {
  c.BringToFront(true);
  ReplyEmpty(c, PageArguments(text));
}

void CancelTopMost(Controller& c, const char* text) {
  c.BringToFront(false);
  ReplyEmpty(c, PageArguments(text));
}

void MoveStartCommand(Controller& c, const char* text) {
  c.MoveStart();
  ReplyEmpty(c, PageArguments(text));
}

void MoveEndCommand(Controller& c, const char* text) {
  c.MoveEnd();
  ReplyEmpty(c, PageArguments(text));
}

// runDownloader, runCmd, runSafeCmd: the shell's open; runExternalCmd: HostKit's launch entry,
// which starts the file as the desktop user without our trust rule.
enum class RunWay { kShellOpen, kHostKit };

void RunFile(Controller& c, const char* text, RunWay way) {
  const ScopedRedirectionOff redirection_off;
  const PageArguments args(text);
  const std::wstring path = ExpandPathMacros(args.String("path"));
  const std::wstring parameters = args.String("param");
  if (!path.empty() && IsExistingFile(path)) {
    if (way == RunWay::kShellOpen) {
      ShellOpenFile(path, parameters, SW_SHOWNORMAL);
    } else {
      (void)HostKitShellExecute(nullptr, L"open", path.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    }
  }
  ReplyEmpty(c, args);
}

void RunByShell(Controller& c, const char* text) { RunFile(c, text, RunWay::kShellOpen); }
void RunByHostKit(Controller& c, const char* text) { RunFile(c, text, RunWay::kHostKit); }

void OpenLogin(Controller& c, const char* text) {
  c.ShowLoginDialog();
  ReplyEmpty(c, PageArguments(text));
}

void IsInClient(Controller& c, const char* text) {
  const std::wstring callback = Callback(PageArguments(text));
  // The one reply written by hand, with its space after the colon.
  if (c.HasBrowser() && !callback.empty()) c.RunScript(callback + L"({\"data\": 1})");
}

void OpenUrl(Controller& c, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  const std::wstring url = args.String("url");
  if (url.empty()) return;  // the address is required
  OpenUrlOutside(url);
  ReplyEmpty(c, args);
}

void FeedBack(Controller& c, const char* text) {
  const PageArguments args(text);
  const std::wstring command = std::wstring(TrimWhitespace(args.String("cmd")));
  if (!command.empty() && GetPageServices().start_feedback) GetPageServices().start_feedback(command);
  ReplyEmpty(c, args);
}

std::wstring Trimmed(const PageArguments& args, const char* key) {
  return std::wstring(TrimWhitespace(args.String(key)));
}

void DecryptCommand(Controller& c, const char* text) {
  const PageArguments args(text);
  const std::wstring skey = Trimmed(args, "skey"), q = Trimmed(args, "q");
  Json::Value reply(Json::objectValue);
  reply["Decrypt"] = skey.empty() || q.empty() ? std::string() : WideToUtf8(Decrypt(skey, q));
  ReplyJson(c, Callback(args), CompactJson(reply));
}

void EncryptCommand(Controller& c, const char* text) {
  const PageArguments args(text);
  Json::Value reply(Json::objectValue);
  reply["q"] = reply["sign"] = reply["skey"] = "";
  if (args.has_object()) {
    const PageCipher cipher = Encrypt(Trimmed(args, "plaintext"));
    reply["q"] = WideToUtf8(cipher.q);
    reply["skey"] = WideToUtf8(cipher.skey);
    reply["sign"] = WideToUtf8(Sign(Trimmed(args, "signdata"), cipher.skey, cipher.q));
  }
  ReplyJson(c, Callback(args), CompactJson(reply));
}

void ShowDevTools(Controller& c, const char* text) {
  c.ShowDevTools();
  ReplyEmpty(c, PageArguments(text));
}

void GetWeather(Controller& c, const char* text) {
  const PageArguments args(text);
  const std::wstring callback = Callback(args);
  if (callback.empty()) return;
  const PageServices& services = GetPageServices();
  if (args.Boolean("retry")) {
    // The fresh data comes with the weather event.
    if (services.refresh_weather) services.refresh_weather();
    return;
  }
  const std::optional<Json::Value> weather = services.cached_weather ? services.cached_weather() : std::nullopt;
  ReplyJson(c, callback, weather ? EnvelopeJson(0, *weather) : EnvelopeJson(1, Json::Value("")));
}

void SettingsCenter(Controller&, const char* text) {
  const std::wstring suite = GetSuiteFolder();
  if (suite.empty()) return;
  const std::wstring path = suite + L"\\Monitor\\SettingHub.exe";
  if (path.size() >= MAX_PATH) return;
  LaunchFile(path, PageArguments(text).String("param"));
}

// The rows whose answer is a provider's text: nothing without a callback name or the provider.
void ReplyProviderText(Controller& c, const char* text, const std::function<std::string()>& provider) {
  const std::wstring callback = Callback(PageArguments(text));
  if (callback.empty() || !provider) return;
  ReplyJson(c, callback, provider());
}

void GetCommonlyUsedData(Controller& c, const char* text) {
  ReplyProviderText(c, text, GetPageServices().commonly_used_json);
}
void GetRecommendedTools(Controller& c, const char* text) {
  ReplyProviderText(c, text, GetPageServices().recommended_tools_text);
}
void GetLocalTop(Controller& c, const char* text) { ReplyProviderText(c, text, GetPageServices().local_top_json); }

void SetWeatherCity(Controller& c, const char* text) {
  const PageArguments args(text);
  const std::wstring city = args.String("city");
  if (!city.empty() && GetPageServices().set_weather_city) GetPageServices().set_weather_city(city);
  ReplyEmpty(c, args);
}

void IsStickyNoteExist(Controller& c, const char* text) {
  const auto& present = GetPageServices().is_sticky_note_present;
  ReplyDigit(c, Callback(PageArguments(text)), present && present());
}

void RunTools(Controller& c, const char* text) {
  static const struct {
    const wchar_t* name;
    PageTool tool;
  } kTools[] = {{L"StickyNote", PageTool::kStickyNote},
                {L"Calc", PageTool::kCalc},
                {L"ScreenCapture", PageTool::kScreenCapture},
                {L"QuickFind", PageTool::kQuickFind},
                {L"WordProcess", PageTool::kWordProcess}};
  const std::wstring name = PageArguments(text).String("tool");
  for (const auto& entry : kTools) {
    if (!EqualsIgnoreAsciiCase(name, entry.name)) continue;
    if (entry.tool == PageTool::kQuickFind) {
      ::SetTimer(c.hwnd(), kQuickFindTimer, kQuickFindDelayMs, nullptr);
    } else if (GetPageServices().run_tool) {
      GetPageServices().run_tool(entry.tool);
    }
    return;
  }
}

void StartReport(Controller& c, const char* text) {
  const PageArguments args(text);
  const std::wstring id = args.String("id");
  if (!id.empty() && GetPageServices().record_tool_use) GetPageServices().record_tool_use(id);
  ReplyEmpty(c, args);
}

void IsInstalledWithKey(Controller& c, const char* text) {
  const PageArguments args(text);
  const std::wstring key = args.String("key");
  if (key.empty()) return;
  const auto& installed = GetPageServices().is_installed_with_key;
  ReplyJson(c, Callback(args), InstalledJson(installed && installed(key)));
}

void CallUploadToKelu(Controller& c, const char* text) {
  if (const HWND browser = c.GetBrowserWindow()) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    POINT origin{};
    ::ClientToScreen(browser, &origin);
    ::PostMessageW(browser, WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x + origin.x, cursor.y + origin.y));
  }
  ::PostMessageW(GetSideBarWindow(), WM_UPLOAD_TO_KELU, 0, 0);
  ReplyEmpty(c, PageArguments(text));
}

void ReplyPresence(Controller& c, const char* text, const std::function<bool()>& present) {
  const std::wstring callback = Callback(PageArguments(text));
  if (callback.empty()) return;
  ReplyDigit(c, callback, present && present());
}

void IsKeluExist(Controller& c, const char* text) { ReplyPresence(c, text, GetPageServices().is_assistant_present); }
void IsWordProcessingExist(Controller& c, const char* text) {
  ReplyPresence(c, text, GetPageServices().is_word_pick_present);
}

void StartupWordProcessing(Controller& c, const char* text) {
  if (GetPageServices().start_word_pick) GetPageServices().start_word_pick();
  ReplyEmpty(c, PageArguments(text));
}

void CreateShortcut(Controller& c, const char* text) {
  CAppConfigMgr::CreateDesktopShortcut();
  ReplyEmpty(c, PageArguments(text));
}

void GetSettings(Controller& c, const char* text) {
  const std::wstring callback = Callback(PageArguments(text));
  if (callback.empty()) return;
  const CAppConfigMgr& settings = CAppConfigMgr::Instance();
  ReplyJson(c, callback,
            SettingsJson(settings.GetAutoHide() == 1, settings.IsSideBarOn(), settings.GetSceneRecommend() == 1));
}

// A setSettings value: a boolean as it is, an integer as its value, anything else 1.
std::optional<int> SettingValue(const Json::Value& value) {
  if (value.isNull()) return std::nullopt;
  if (value.isBool()) return value.asBool() ? 1 : 0;
  if (value.isInt()) return value.asInt();
  if (value.isIntegral()) return 1;  // beyond int: not zero
  return 1;
}

void SetSettings(Controller& c, const char* text) {
  const PageArguments args(text);
  if (Callback(args).empty()) return;
  CAppConfigMgr& settings = CAppConfigMgr::Instance();
  if (const auto value = SettingValue(args.Member("autoHide"))) settings.SetAutoHide(*value);
  if (const auto value = SettingValue(args.Member("sceneRecommend"))) settings.SetSceneRecommend(*value);
  if (const auto value = SettingValue(args.Member("autoStart"))) {
    if (*value != 0) {
      CAppConfigMgr::EnableSideBar();
    } else {
      CAppConfigMgr::DisableSideBar();
    }
  }
  ReplyEmpty(c, args);
}

void HasShortcut(Controller& c, const char* text) {
  const std::wstring callback = Callback(PageArguments(text));
  if (!callback.empty()) ReplyJson(c, callback, CodeZeroDataJson(CAppConfigMgr::HasDesktopShortcut()));
}

void IsAutoStart(Controller& c, const char* text) {
  const std::wstring callback = Callback(PageArguments(text));
  if (!callback.empty()) ReplyJson(c, callback, CodeZeroDataJson(CAppConfigMgr::IsAutoStartRegistered()));
}

void NavigateOnline(Controller&, const char*) { ::PostMessageW(GetSideBarWindow(), WM_NAVIGATE_ONLINE, 0, 0); }

struct Command {
  const char* name;
  void (*run)(Controller& controller, const char* arguments);
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
    {"createShortcut", &CreateShortcut},
    {"getSettings", &GetSettings},
    {"setSettings", &SetSettings},
    {"hasShortcut", &HasShortcut},
    {"isAutoStart", &IsAutoStart},
    {"navigateOnline", &NavigateOnline},
};
static_assert(sizeof(kCommands) / sizeof(kCommands[0]) == 42, "the page's 42 commands");

}  // namespace

void DispatchPageCall(CWebBrowserEvent& controller, const char* first, const char* name, const char* arguments) {
  if (!first || !name) return;
  for (const Command& command : kCommands) {
    if (EqualsAsciiNoCase(name, command.name)) {
      command.run(controller, arguments);
      return;
    }
  }
}

}  // namespace velmora
