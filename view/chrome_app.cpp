#include "view/chrome_app.h"

#include <cwchar>
#include <utility>

#include "platform/data_folder.h"
#include "platform/module_path.h"
#include "platform/net_probe.h"
#include "platform/process_facts.h"
#include "platform/suite_folder.h"
#include "view/engine_locator.h"
#include "view/page_addresses.h"
#include "view/side_bar_handle.h"

namespace velmora {
namespace {

// Copies `text` into `buffer` of `size` characters, cut to fit.
void CopyCut(wchar_t* buffer, size_t size, const std::wstring& text) {
  const size_t n = text.size() < size ? text.size() : size - 1;
  wmemcpy(buffer, text.data(), n);
  buffer[n] = L'\0';
}

}  // namespace

ChromeApp::ChromeApp(PageServices& services, ShutdownHandler shutdown)
    : services_(services), shutdown_(std::move(shutdown)) {
  const std::wstring data = GetDataFolder();
  if (!data.empty()) CopyCut(user_data_folder_, MAX_PATH, data + L"\\chromeshell");
}

ChromeApp::~ChromeApp() = default;

void* ChromeApp::DeletingDestructor(unsigned int) { return this; }  // the program owns the object: nothing is freed

bool ChromeApp::QueryOption(int) { return false; }

const wchar_t* ChromeApp::GetUserDataFolder() { return user_data_folder_; }

const wchar_t* ChromeApp::GetComponentsFolder() {
  CopyCut(components_folder_, MAX_PATH, CEngineLocator::Instance().ComponentsFolder());
  return components_folder_;
}

const wchar_t* ChromeApp::GetExtraText() { return L""; }

void ChromeApp::SetFactory(shell::ShellBrowserFactory* factory) { factory_ = factory; }

void ChromeApp::CreateUserInterface() {
  const bool online = CNetProbe::Instance().IsReachable() == 1;
  OSVERSIONINFOEXW os{};
  os.dwOSVersionInfoSize = sizeof(os);
  const DWORD major = GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&os)) ? os.dwMajorVersion : 6;
  const std::wstring page = ChooseFirstPage(online, major, IsExistingFile(LocalPagePackagePath()), ::GetTickCount());
  // Offline without the local package there is nothing to show, and without its window the side
  // bar cannot run: end at once, quietly.
  if (page.empty()) ::TerminateProcess(::GetCurrentProcess(), 0);
  if (!controller_) {
    auto controller = std::make_unique<CWebBrowserEvent>(factory_, services_, shutdown_);
    if (!controller->Start()) ::TerminateProcess(::GetCurrentProcess(), 0);
    controller_ = std::move(controller);
  }
  controller_->Navigate(page);
}

void ChromeApp::OnShellReturned() {
  if (controller_) controller_->ForgetBrowsers();
}

void ChromeApp::Notify(int, int, int, int) {}

void ChromeApp::OnKeyEvent(HWND window, UINT message, WPARAM key, LPARAM) {
  if (!controller_) return;
  if (message == WM_SYSKEYDOWN && key == VK_F4 && window && window == controller_->BrowserWindow()) {
    SideBarWindowSlot().Post(WM_CLOSE);
  } else if ((message == WM_KEYDOWN || message == WM_SYSKEYDOWN) && key == VK_F12 && (::GetKeyState(VK_CONTROL) & 0x8000)) {
    controller_->ShowDevTools();
  }
}

void ChromeApp::Query(int id, wchar_t* buffer) {
  if (id != shell::kQueryLocalPackagePath || !buffer) return;
  CopyCut(buffer, shell::kQueryBufferChars, LocalPagePackagePath());
}

}  // namespace velmora
