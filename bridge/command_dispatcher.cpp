#include "bridge/command_dispatcher.h"

#include <windows.h>

#include <string_view>

#include "app/launch.h"
#include "app/shutdown.h"
#include "bridge/page_arguments.h"
#include "view/messages.h"
#include "view/web_browser_event.h"

namespace velmora {
namespace {

using Controller = CWebBrowserEvent;

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void Reply(Controller& controller, const PageArguments& args) { controller.SendCallback(args.String("callbackName"), L""); }

void Show(Controller& c, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  c.MarkPageShown();
  c.PushSignInCookies();
  const int width = args.Integer("width"), height = args.Integer("height");
  if (width != 0 && height != 0) {
    c.SetPageSize(width, height);
    c.ShowCentered(width, height);
  }
  Reply(c, args);
}

void ShowFull(Controller& c, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  c.MarkPageShown();
  c.PushSignInCookies();
  c.StopPageLoadTimeout();
  c.ShowFullScreen();
  c.ShowBrowser();
  c.BringToFront(true);
  Reply(c, args);
}

void Close(Controller& c, const char* text) {
  Reply(c, PageArguments(text));
  ::PostMessageW(GetSideBarWindow(), WM_CLOSE, 0, 0);
}

void SetTopMost(Controller& c, const char* text) {
  c.BringToFront(true);
  Reply(c, PageArguments(text));
}

void CancelTopMost(Controller& c, const char* text) {
  c.BringToFront(false);
  Reply(c, PageArguments(text));
}

void MoveStart(Controller& c, const char* text) {
  c.MoveStart();
  Reply(c, PageArguments(text));
}

void MoveEnd(Controller& c, const char* text) {
  c.MoveEnd();
  Reply(c, PageArguments(text));
}

void OpenLogin(Controller& c, const char* text) {
  c.ShowLoginDialog();
  Reply(c, PageArguments(text));
}

void IsInClient(Controller& c, const char* text) {
  const std::wstring name = PageArguments(text).String("callbackName");
  if (c.HasBrowser() && !name.empty()) c.RunScript(name + L"({\"data\": 1})");
}

void OpenUrl(Controller& c, const char* text) {
  if (!text) return;
  const PageArguments args(text);
  const std::wstring url = args.String("url");
  if (!url.empty()) OpenUrlOutside(url);
  Reply(c, args);
}

void ShowDevTools(Controller& c, const char* text) {
  c.ShowDevTools();
  Reply(c, PageArguments(text));
}

void NavigateOnline(Controller&, const char*) { ::PostMessageW(GetSideBarWindow(), WM_NAVIGATE_ONLINE, 0, 0); }

struct Command {
  const char* name;
  void (*run)(Controller& controller, const char* arguments);
};

// In matching order. The rows of the providers and companions join as those are built.
constexpr Command kCommands[] = {
    {"Show", &Show},
    {"ShowFull", &ShowFull},
    {"Close", &Close},
    {"closeModal", &Close},
    {"SetTopMost", &SetTopMost},
    {"CancelTopMost", &CancelTopMost},
    {"MoveStart", &MoveStart},
    {"MoveEnd", &MoveEnd},
    {"OpenLogin", &OpenLogin},
    {"ShowLogin", &OpenLogin},
    {"IsInClient", &IsInClient},
    {"OpenUrl", &OpenUrl},
    {"ShowDevTools", &ShowDevTools},
    {"navigateOnline", &NavigateOnline},
};

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
