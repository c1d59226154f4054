#include "config/shortcut.h"

#include <objbase.h>
#include <msi.h>
#include <shlobj.h>

#include <optional>

#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/system_functions.h"

namespace velmora {
namespace {

template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return p_; }
  Interface* get() const { return p_; }
  void** receive() { return reinterpret_cast<void**>(&p_); }

 private:
  Interface* p_ = nullptr;
};

class ScopedCoInit {
 public:
  ScopedCoInit() : result_(::CoInitialize(nullptr)) {}
  ~ScopedCoInit() {
    if (SUCCEEDED(result_)) ::CoUninitialize();
  }
  ScopedCoInit(const ScopedCoInit&) = delete;
  ScopedCoInit& operator=(const ScopedCoInit&) = delete;

 private:
  HRESULT result_;
};

// The Windows Installer's view of an advertised shortcut: the component's local path, when the
// shortcut is one of its own and the component is installed locally. msi.dll is loaded only for
// this, from the system folder.
std::optional<std::wstring> ResolveInstallerShortcut(const std::wstring& shortcut) {
  using GetShortcutTargetFn = UINT(WINAPI*)(LPCWSTR, LPWSTR, LPWSTR, LPWSTR);
  using GetComponentPathFn = INSTALLSTATE(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
  ScopedLibrary msi(LoadSystemLibrary(L"msi.dll"));
  auto get_target = GetProcAddressAs<GetShortcutTargetFn>(msi.get(), "MsiGetShortcutTargetW");
  auto get_path = GetProcAddressAs<GetComponentPathFn>(msi.get(), "MsiGetComponentPathW");
  if (!get_target || !get_path) return std::nullopt;
  wchar_t product[40] = {};
  wchar_t component[40] = {};
  if (get_target(shortcut.c_str(), product, nullptr, component) != ERROR_SUCCESS) return std::nullopt;
  wchar_t path[MAX_PATH] = {};
  DWORD size = 233;
  if (get_path(product, component, path, &size) != INSTALLSTATE_LOCAL) return std::wstring();  // answered: not local
  return std::wstring(path);
}

}  // namespace

bool CreateShortcut(const std::wstring& folder, const std::wstring& file_name, const std::wstring& arguments,
                    const std::wstring& target, const std::wstring& icon_path, int icon_index) {
  ScopedCoInit com;
  std::wstring path = folder;
  while (!path.empty() && path.back() == L'\\') path.pop_back();
  path += L"\\" + file_name;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receive())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receive()))) {
    return false;
  }
  link->SetPath(target.c_str());
  if (!icon_path.empty()) link->SetIconLocation(icon_path.c_str(), icon_index);
  link->SetWorkingDirectory(ParentFolder(target).c_str());
  link->SetArguments(arguments.c_str());
  return SUCCEEDED(file->Save(path.c_str(), FALSE));
}

bool ResolveShortcut(const std::wstring& shortcut, std::wstring* target, std::wstring* arguments, DWORD flags) {
  if (const auto installed = ResolveInstallerShortcut(shortcut)) {
    if (installed->empty()) return false;
    *target = *installed;
    return true;
  }
  ScopedCoInit com;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receive())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receive())) ||
      FAILED(file->Load(shortcut.c_str(), STGM_READ)) || FAILED(link->Resolve(nullptr, flags))) {
    return false;
  }
  wchar_t path[MAX_PATH] = {};
  if (FAILED(link->GetPath(path, MAX_PATH, nullptr, SLGP_UNCPRIORITY))) return false;
  if (path[0] == L'\0' && FAILED(link->GetPath(path, MAX_PATH, nullptr, SLGP_UNCPRIORITY | SLGP_RAWPATH))) {
    return false;
  }
  wchar_t args[MAX_PATH] = {};
  if (arguments && FAILED(link->GetArguments(args, MAX_PATH))) return false;
  *target = path;
  if (arguments) *arguments = args;
  return true;
}

bool ReadShortcutIconLocation(const std::wstring& shortcut, std::wstring* location, int* index) {
  ScopedCoInit com;
  ComPtr<IShellLinkW> link;
  ComPtr<IPersistFile> file;
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.receive())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.receive())) ||
      FAILED(file->Load(shortcut.c_str(), STGM_READ))) {
    return false;
  }
  wchar_t icon[MAX_PATH] = {};
  int icon_index = 0;
  if (FAILED(link->GetIconLocation(icon, MAX_PATH, &icon_index)) || icon[0] == L'\0') return false;
  *location = icon;
  *index = icon_index;
  return true;
}

}  // namespace velmora
