// The rows of the page's command table and what they share: each command gets the call's
// host and services and its arguments text (may be null), and answers through the page's
// callback. Main thread; used by the dispatcher only.
#pragma once

#include <string>

#include "bridge/page_arguments.h"
#include "bridge/page_host.h"
#include "bridge/page_services.h"
#include "platform/text.h"

namespace velmora {

struct PageCall {
  PageHost& host;
  PageServices& services;
};

using PageCommand = void (*)(PageCall& call, const char* arguments);

inline std::wstring CallbackName(const PageArguments& args) { return args.String("callbackName"); }

// The three reply payloads: nothing, a JSON text (UTF-8), a digit.
inline void ReplyEmpty(PageCall& call, const PageArguments& args) { SendCallback(call.host, CallbackName(args), L""); }
inline void ReplyJson(PageCall& call, const std::wstring& callback, const std::string& json) {
  SendCallback(call.host, callback, Utf8ToWide(json));
}
inline void ReplyDigit(PageCall& call, const std::wstring& callback, bool value) {
  SendCallback(call.host, callback, value ? L"1" : L"0");
}

// Window, page and launching commands (window_commands.cpp).
void ShowCommand(PageCall& call, const char* text);
void ShowFullCommand(PageCall& call, const char* text);
void CloseCommand(PageCall& call, const char* text);
void SetTopMost(PageCall& call, const char* text);
void CancelTopMost(PageCall& call, const char* text);
void MoveStartCommand(PageCall& call, const char* text);
void MoveEndCommand(PageCall& call, const char* text);
void RunByShell(PageCall& call, const char* text);
void RunByHostKit(PageCall& call, const char* text);
void OpenLogin(PageCall& call, const char* text);
void IsInClient(PageCall& call, const char* text);
void OpenUrl(PageCall& call, const char* text);
void ShowDevTools(PageCall& call, const char* text);
void SettingsCenter(PageCall& call, const char* text);
void CallUploadToKelu(PageCall& call, const char* text);
void NavigateOnline(PageCall& call, const char* text);

// Account, providers, companions, settings and encryption (service_commands.cpp).
void GetSystemInfo(PageCall& call, const char* text);
void GetUserInfo(PageCall& call, const char* text);
void FeedBack(PageCall& call, const char* text);
void DecryptCommand(PageCall& call, const char* text);
void EncryptCommand(PageCall& call, const char* text);
void GetWeather(PageCall& call, const char* text);
void GetCommonlyUsedData(PageCall& call, const char* text);
void GetRecommendedTools(PageCall& call, const char* text);
void GetLocalTop(PageCall& call, const char* text);
void SetWeatherCity(PageCall& call, const char* text);
void IsStickyNoteExist(PageCall& call, const char* text);
void RunTools(PageCall& call, const char* text);
void StartReport(PageCall& call, const char* text);
void IsInstalledWithKey(PageCall& call, const char* text);
void IsKeluExist(PageCall& call, const char* text);
void IsWordProcessingExist(PageCall& call, const char* text);
void StartupWordProcessing(PageCall& call, const char* text);
void CreateShortcutCommand(PageCall& call, const char* text);
void GetSettings(PageCall& call, const char* text);
void SetSettings(PageCall& call, const char* text);
void HasShortcut(PageCall& call, const char* text);
void IsAutoStart(PageCall& call, const char* text);

}  // namespace velmora
