// The page's commands that act on the side bar's window and page, open links and start files.
#include <windows.h>

#include "bridge/page_commands.h"
#include "platform/core_libraries.h"
#include "platform/launch.h"
#include "platform/module_path.h"
#include "platform/native_system_path.h"
#include "platform/path_macros.h"
#include "platform/path_text.h"
#include "platform/suite_folder.h"
#include "platform/process_ids.h"

namespace velmora {
namespace {

// runDownloader, runCmd, runSafeCmd: the shell's open; runExternalCmd: HostKit's launch entry,
// which starts the file as the desktop user without our trust rule.
enum class RunWay { kShellOpen, kHostKit };

void RunFile(PageCall& call, const char* text, RunWay way) {
  const PageArguments args(text);
  // Local files only, named by the text that was checked: no share, device or raw path. A file in
  // the system folder is the system's own, also for a 32-bit side bar on 64-bit Windows.
  const std::optional<std::wstring> canonical = CanonicalLocalPath(ExpandPathMacros(args.String("path")));
  const std::wstring path = canonical ? NativeSystemPath(*canonical) : std::wstring();
  const std::wstring parameters = args.String("param");
  if (!path.empty() && IsExistingFile(path)) {
    if (way == RunWay::kShellOpen) {
      ShellOpenFile(path, parameters, SW_SHOWNORMAL);
    } else {
      (void)HostKitShellExecute(nullptr, L"open", path.c_str(), parameters.c_str(), nullptr, SW_SHOWNORMAL);
    }
  }
  ReplyEmpty(call, args);
}

}  // namespace

void ShowCommand(PageCall& call, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  call.host.MarkPageShown();
  call.host.PushSignInCookies();
  const int width = args.Integer("width"), height = args.Integer("height");
  // A negative size is no size: the shell is never handed one.
  if (width > 0 && height > 0) {
    call.host.SetPageSize(width, height);
    call.host.ShowCentered(width, height);
  }
  ReplyEmpty(call, args);
}

void ShowFullCommand(PageCall& call, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  call.host.MarkPageShown();
  call.host.PushSignInCookies();
  call.host.StopPageLoadTimeout();
  call.host.ShowFullScreen();
  call.host.ShowBrowser();
  call.host.BringToFront(true);
  ReplyEmpty(call, args);
}

void CloseCommand(PageCall& call, const char* text) {
  ReplyEmpty(call, PageArguments(text));
  call.host.PostToSideBar(WM_CLOSE);
}

void SetTopMost(PageCall& call, const char* text) {
  call.host.BringToFront(true);
  ReplyEmpty(call, PageArguments(text));
}

void CancelTopMost(PageCall& call, const char* text) {
  call.host.BringToFront(false);
  ReplyEmpty(call, PageArguments(text));
}

void MoveStartCommand(PageCall& call, const char* text) {
  call.host.MoveStart();
  ReplyEmpty(call, PageArguments(text));
}

void MoveEndCommand(PageCall& call, const char* text) {
  call.host.MoveEnd();
  ReplyEmpty(call, PageArguments(text));
}

void RunByShell(PageCall& call, const char* text) { RunFile(call, text, RunWay::kShellOpen); }
void RunByHostKit(PageCall& call, const char* text) { RunFile(call, text, RunWay::kHostKit); }

void OpenLogin(PageCall& call, const char* text) {
  call.host.ShowLoginDialog();
  ReplyEmpty(call, PageArguments(text));
}

void IsInClient(PageCall& call, const char* text) {
  const std::wstring callback = CallbackName(PageArguments(text));
  // The one reply written by hand, with its space after the colon.
  if (call.host.HasBrowser() && !callback.empty()) call.host.RunScript(callback + L"({\"data\": 1})");
}

void OpenUrl(PageCall& call, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  if (!args.Member("url").isString()) return;  // the address is required
  OpenUrlOutside(args.String("url"));  // which opens web addresses only
  ReplyEmpty(call, args);
}

void ShowDevTools(PageCall& call, const char* text) {
  call.host.ShowDevTools();
  ReplyEmpty(call, PageArguments(text));
}

void SettingsCenter(PageCall&, const char* text) {
  const std::wstring suite = GetSuiteFolder();
  if (suite.empty()) return;
  const std::wstring path = suite + L"\\Monitor\\SettingHub.exe";
  if (path.size() > MAX_PATH) return;
  (void)LaunchFile(path, PageArguments(text).String("param"));  // a refused start is silent
}

void CallUploadToKelu(PageCall& call, const char* text) {
  if (const HWND browser = call.host.BrowserWindow()) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    POINT origin{};
    ::ClientToScreen(browser, &origin);
    ::PostMessageW(browser, WM_MOUSEMOVE, 0, MAKELPARAM(cursor.x + origin.x, cursor.y + origin.y));
  }
  call.host.PostToSideBar(WM_UPLOAD_TO_KELU);
  ReplyEmpty(call, PageArguments(text));
}

void NavigateOnline(PageCall& call, const char*) { call.host.PostToSideBar(WM_NAVIGATE_ONLINE); }

}  // namespace velmora
