// ChromeApp: the application object the program hands the browser shell. The shell asks it for
// its folders and the local page package, gives it the browser factory, and has it create the
// side bar (the controller and the first page). Main thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "view/shell_interfaces.h"
#include "view/web_browser_event.h"

namespace velmora {

// The page to open first: the online page (HTTPS, or HTTP on systems before major version 6)
// with its cache-buster when `online`, else the local page when the package exists, else empty
// (nothing can be shown). Pure.
std::wstring ChooseFirstPage(bool online, DWORD os_major_version, bool package_exists, DWORD tick_count);

// "<suite>\Utils\VelmoraLocalWeb.zip".
std::wstring LocalPagePackagePath();

class ChromeApp final : public shell::ExternalShellApp {
 public:
  // The process's one application object.
  static ChromeApp& Instance();

  // The controller, once the shell had the user interface created; null before.
  CWebBrowserEvent* controller() const { return controller_.get(); }

  // shell::ExternalShellApp
  void* DeletingDestructor(unsigned int flags) override;
  bool QueryOption(int id) override;
  const wchar_t* GetUserDataFolder() override;
  const wchar_t* GetComponentsFolder() override;
  const wchar_t* GetExtraText() override;
  void SetFactory(shell::ShellBrowserFactory* factory) override;
  void CreateUserInterface() override;
  void Notify(int a, int b, int c, int d) override;
  void OnKeyEvent(HWND window, UINT message, WPARAM key, LPARAM extra) override;
  void Query(int id, wchar_t* buffer) override;

 private:
  ChromeApp();

  wchar_t user_data_folder_[MAX_PATH] = {};
  wchar_t components_folder_[MAX_PATH] = {};
  shell::ShellBrowserFactory* factory_ = nullptr;
  std::unique_ptr<CWebBrowserEvent> controller_;
};

}  // namespace velmora
