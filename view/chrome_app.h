// ChromeApp: the application object the program hands the browser shell. The shell asks it for
// its folders and the local page package, gives it the browser factory, and has it create the
// side bar (the controller and the first page). Main thread only.
#pragma once

#include <windows.h>

#include <memory>

#include "bridge/page_services.h"
#include "view/shell_interfaces.h"
#include "view/shutdown_participant.h"
#include "view/web_browser_event.h"

namespace velmora {

class ChromeApp final : public shell::ExternalShellApp {
 public:
  // `services` outlives the object; `shutdown` ends the side bar (the program's ShutdownSideBar).
  ChromeApp(PageServices& services, ShutdownHandler shutdown);
  ~ChromeApp();
  ChromeApp(const ChromeApp&) = delete;
  ChromeApp& operator=(const ChromeApp&) = delete;

  // The side bar, once the shell had the user interface created; null before.
  CWebBrowserEvent* controller() const { return controller_.get(); }

  // Called when the shell's entry has returned: the shell's browsers are gone with it.
  void OnShellReturned();

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
  PageServices& services_;
  ShutdownHandler shutdown_;
  wchar_t user_data_folder_[MAX_PATH] = {};
  wchar_t components_folder_[MAX_PATH] = {};
  shell::ShellBrowserFactory* factory_ = nullptr;
  std::unique_ptr<CWebBrowserEvent> controller_;
};

}  // namespace velmora
