// The page's commands answered by the account, the providers and companions, the settings store
// and the page data encryption.
#include <windows.h>

#include <optional>

#include "account/account_reader.h"
#include "account/avatar_text.h"
#include "bridge/page_commands.h"
#include "bridge/page_crypto.h"
#include "bridge/page_replies.h"
#include "config/app_config.h"
#include "config/autostart.h"

namespace velmora {
namespace {

std::wstring Trimmed(const PageArguments& args, const char* key) {
  return std::wstring(TrimWhitespace(args.String(key)));
}

// The rows whose answer is a provider's text: nothing without a callback name or while the
// provider has no answer. The provider is asked only when there is someone to answer.
void ReplyProviderText(PageCall& call, const char* text, std::optional<std::string> (PageServices::*provider)()) {
  const std::wstring callback = CallbackName(PageArguments(text));
  if (callback.empty()) return;
  if (const std::optional<std::string> answer = (call.services.*provider)()) ReplyJson(call, callback, *answer);
}

void ReplyPresence(PageCall& call, const char* text, bool (PageServices::*present)()) {
  const std::wstring callback = CallbackName(PageArguments(text));
  if (!callback.empty()) ReplyDigit(call, callback, (call.services.*present)());
}

// A setSettings value: a boolean as it is, a JSON integer as its value, anything else 1 (2.0 is a
// number, not an integer; an integer beyond int is not zero).
std::optional<int> SettingValue(const Json::Value& value) {
  if (value.isNull()) return std::nullopt;
  if (value.isBool()) return value.asBool() ? 1 : 0;
  if ((value.type() == Json::intValue || value.type() == Json::uintValue) && value.isInt()) return value.asInt();
  return 1;
}

}  // namespace

void GetSystemInfo(PageCall& call, const char* text) {
  ReplyProviderText(call, text, &PageServices::SystemInfoJson);
}

void GetUserInfo(PageCall& call, const char* text) {
  const std::wstring callback = CallbackName(PageArguments(text));
  if (callback.empty()) return;
  if (!IsSignedIn()) {
    ReplyJson(call, callback, UserInfoJson(false, "", "", ""));
    return;
  }
  const AccountInfo account = ReadAccount();
  ReplyJson(call, callback, UserInfoJson(true, WideToUtf8(account.nick_name), WideToUtf8(account.qid),
                                         CAvatarText::Instance().Get(account.head_image)));
}

void FeedBack(PageCall& call, const char* text) {
  const PageArguments args(text);
  const std::wstring command = Trimmed(args, "cmd");
  if (!command.empty()) call.services.StartFeedback(command);
  ReplyEmpty(call, args);
}

void DecryptCommand(PageCall& call, const char* text) {
  const PageArguments args(text);
  const std::wstring skey = Trimmed(args, "skey"), q = Trimmed(args, "q");
  Json::Value reply(Json::objectValue);
  reply["Decrypt"] = skey.empty() || q.empty() ? std::string() : WideToUtf8(Decrypt(skey, q));
  ReplyJson(call, CallbackName(args), CompactJson(reply));
}

void EncryptCommand(PageCall& call, const char* text) {
  const PageArguments args(text);
  Json::Value reply(Json::objectValue);
  reply["q"] = reply["sign"] = reply["skey"] = "";
  if (args.has_object()) {
    const PageCipher cipher = Encrypt(Trimmed(args, "plaintext"));
    reply["q"] = WideToUtf8(cipher.q);
    reply["skey"] = WideToUtf8(cipher.skey);
    reply["sign"] = WideToUtf8(Sign(Trimmed(args, "signdata"), cipher.skey, cipher.q));
  }
  ReplyJson(call, CallbackName(args), CompactJson(reply));
}

void GetWeather(PageCall& call, const char* text) {
  const PageArguments args(text);
  const std::wstring callback = CallbackName(args);
  if (callback.empty()) return;
  if (args.Boolean("retry")) {
    // The fresh data comes with the weather event.
    call.services.RefreshWeather();
    return;
  }
  const std::optional<Json::Value> weather = call.services.CachedWeather();
  ReplyJson(call, callback, weather ? EnvelopeJson(0, *weather) : EnvelopeJson(1, Json::Value("")));
}

void GetCommonlyUsedData(PageCall& call, const char* text) { ReplyProviderText(call, text, &PageServices::CommonlyUsedJson); }

void GetRecommendedTools(PageCall& call, const char* text) { ReplyProviderText(call, text, &PageServices::RecommendedToolsText); }

void GetLocalTop(PageCall& call, const char* text) { ReplyProviderText(call, text, &PageServices::LocalTopJson); }

void SetWeatherCity(PageCall& call, const char* text) {
  const PageArguments args(text);
  const std::wstring city = args.String("city");
  if (!city.empty()) call.services.SetWeatherCity(city);
  ReplyEmpty(call, args);
}

void IsStickyNoteExist(PageCall& call, const char* text) {
  ReplyDigit(call, CallbackName(PageArguments(text)), call.services.IsStickyNotePresent());
}

void RunTools(PageCall& call, const char* text) {
  constexpr UINT kQuickFindDelayMs = 200;
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
      call.host.StartQuickFindTimer(kQuickFindDelayMs);
    } else {
      call.services.RunTool(entry.tool);
    }
    return;
  }
}

void StartReport(PageCall& call, const char* text) {
  const PageArguments args(text);
  const std::wstring id = args.String("id");
  if (!id.empty()) call.services.RecordToolUse(id);
  ReplyEmpty(call, args);
}

void IsInstalledWithKey(PageCall& call, const char* text) {
  const PageArguments args(text);
  const std::wstring key = args.String("key");
  if (key.empty()) return;
  ReplyJson(call, CallbackName(args), InstalledJson(call.services.IsInstalledWithKey(key)));
}

void IsKeluExist(PageCall& call, const char* text) {
  ReplyPresence(call, text, &PageServices::IsAssistantPresent);
}

void IsWordProcessingExist(PageCall& call, const char* text) {
  ReplyPresence(call, text, &PageServices::IsWordPickPresent);
}

void StartupWordProcessing(PageCall& call, const char* text) {
  call.services.StartWordPick();
  ReplyEmpty(call, PageArguments(text));
}

void CreateShortcutCommand(PageCall& call, const char* text) {
  CreateDesktopShortcut();
  ReplyEmpty(call, PageArguments(text));
}

void GetSettings(PageCall& call, const char* text) {
  const std::wstring callback = CallbackName(PageArguments(text));
  if (callback.empty()) return;
  const CAppConfigMgr& settings = call.services.settings();
  // Each stored flag as a boolean: non-zero is on.
  ReplyJson(call, callback,
            SettingsJson(settings.GetAutoHide() != 0, settings.IsSideBarOn(), settings.GetSceneRecommend() != 0));
}

void SetSettings(PageCall& call, const char* text) {
  const PageArguments args(text);
  if (CallbackName(args).empty()) return;
  CAppConfigMgr& settings = call.services.settings();
  if (const auto value = SettingValue(args.Member("autoHide"))) settings.SetAutoHide(*value);
  if (const auto value = SettingValue(args.Member("sceneRecommend"))) settings.SetSceneRecommend(*value);
  if (const auto value = SettingValue(args.Member("autoStart"))) {
    if (*value != 0) {
      EnableSideBarByUser();
    } else {
      DisableSideBar();
    }
  }
  ReplyEmpty(call, args);
}

void HasShortcut(PageCall& call, const char* text) {
  const std::wstring callback = CallbackName(PageArguments(text));
  if (!callback.empty()) ReplyJson(call, callback, CodeZeroDataJson(HasDesktopShortcut()));
}

void IsAutoStart(PageCall& call, const char* text) {
  const std::wstring callback = CallbackName(PageArguments(text));
  if (!callback.empty()) ReplyJson(call, callback, CodeZeroDataJson(IsAutoStartRegistered()));
}

}  // namespace velmora
