#include "app/engine_install_wait.h"

#include <windows.h>

#include "platform/text.h"
#include "platform/window_module.h"
#include "platform/process_ids.h"

namespace velmora {
namespace {

class CEngineInstallWaitWindow : public CWindowBase {
 public:
  explicit CEngineInstallWaitWindow(const EngineInstallWaitHooks& hooks) : hooks_(hooks) {}

  bool Open() {
    WNDCLASSEXW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kEngineInstallWaitClass;
    return Create(wc, WS_EX_TOOLWINDOW, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_MINIMIZEBOX,
                  /*title=*/nullptr, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  /*parent=*/nullptr) != nullptr;
  }

 protected:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, bool& handled) override {
    switch (message) {
      case WM_CREATE:
        OnCreate();
        return 0;
      case WM_TIMER:
        if (wparam != kInstallerTimeoutTimer) break;
        ::KillTimer(hwnd(), kInstallerTimeoutTimer);
        ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        return 0;
      case WM_INSTALLER_NOTIFY:
      case WM_INSTALLER_NOTIFY_2:
        OnInstallerStatus(wparam);
        return 0;
      case WM_CLOSE:
        ::KillTimer(hwnd(), kInstallerTimeoutTimer);
        ::DestroyWindow(hwnd());
        ::PostQuitMessage(0);
        return 0;
      case WM_DESTROY:
        return 0;
      default:
        break;
    }
    (void)lparam;
    handled = false;
    return 0;
  }

 private:
  void OnCreate() {
    ::SetWindowPos(hwnd(), nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(hwnd(), SW_HIDE);
    // The installer reports back to this window; its handle travels as a decimal number.
    const std::wstring parameters =
        FormatW(L"/sdkinst /notifywindow=%d", static_cast<int>(reinterpret_cast<INT_PTR>(hwnd())));
    const bool started = hooks_.launch && !hooks_.installer_path.empty() &&
                         ::GetFileAttributesW(hooks_.installer_path.c_str()) != INVALID_FILE_ATTRIBUTES &&
                         hooks_.launch(hooks_.installer_path, parameters);
    if (started) {
      ::SetTimer(hwnd(), kInstallerTimeoutTimer, kInstallerTimeoutMs, nullptr);
    } else {
      ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
    }
  }

  void OnInstallerStatus(WPARAM status) {
    switch (status) {
      case kInstallerStatusInProgress:
        installer_in_progress_ = true;
        break;
      case kInstallerStatusEngineReady:
        if (hooks_.resolve_engine_entry) hooks_.resolve_engine_entry();
        ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        break;
      case kInstallerStatusFailed:
      case kInstallerStatusCancelled:
      case kInstallerStatusEnded:
        ::PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        break;
      default:
        break;
    }
  }

  const EngineInstallWaitHooks& hooks_;
  bool installer_in_progress_ = false;
};

}  // namespace

void RunEngineInstallWait(const EngineInstallWaitHooks& hooks) {
  CMessageLoop loop;
  const bool registered = CWindowModule::AddMessageLoop(&loop);
  {
    CEngineInstallWaitWindow window(hooks);
    if (!window.Open()) ::PostQuitMessage(0);
    loop.Run();
  }
  if (registered) CWindowModule::RemoveMessageLoop();
}

}  // namespace velmora
