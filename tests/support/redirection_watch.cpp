#include "tests/support/redirection_watch.h"

#include <windows.h>
#include <winternl.h>

#include "platform/system_functions.h"
#include "standins/common/redirection_probe.h"

namespace velmora::test {
namespace {

std::wstring Folder(UINT (WINAPI* get)(LPWSTR, UINT)) {
  wchar_t folder[MAX_PATH] = {};
  const UINT length = get(folder, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(folder, length) : std::wstring();
}

// The loader's notice of a library loaded or unloaded.
struct LoadNotice {
  ULONG flags;
  const UNICODE_STRING* full_name;
  const UNICODE_STRING* base_name;
  void* base;
  ULONG size;
};
constexpr unsigned long kLoaded = 1;

using RegisterFn = LONG(NTAPI*)(ULONG, void(__stdcall*)(unsigned long, const void*, void*), void*, void**);
using UnregisterFn = LONG(NTAPI*)(void*);

HMODULE Ntdll() { return ::GetModuleHandleW(L"ntdll.dll"); }

}  // namespace

bool IsWow64Process() {
  BOOL wow64 = FALSE;
  return ::IsWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

bool RedirectionIsOff() { return standin::RedirectionIsOff(); }

std::wstring NativeSystemFile(const wchar_t* name) {
  if (!IsWow64Process()) return Folder(&::GetSystemDirectoryW) + L"\\" + name;
  return Folder(&::GetSystemWindowsDirectoryW) + L"\\Sysnative\\" + name;
}

std::wstring OpenedSystemFile(const wchar_t* name) {
  return Folder(IsWow64Process() ? &::GetSystemWow64DirectoryW : &::GetSystemDirectoryW) + L"\\" + name;
}

ScopedNativeSystemFile::ScopedNativeSystemFile(const std::wstring& source, const wchar_t* name)
    : path_(NativeSystemFile(name)) {
  made_ = ::CopyFileW(source.c_str(), path_.c_str(), /*bFailIfExists=*/TRUE) != FALSE;
  present_ = made_ || ::GetFileAttributesW(path_.c_str()) != INVALID_FILE_ATTRIBUTES;
}

ScopedNativeSystemFile::~ScopedNativeSystemFile() {
  if (made_) ::DeleteFileW(path_.c_str());
}

LibraryLoadWatch::LibraryLoadWatch() {
  const auto do_register = GetProcAddressAs<RegisterFn>(Ntdll(), "LdrRegisterDllNotification");
  if (!do_register || do_register(0, &LibraryLoadWatch::OnLoad, this, &cookie_) != 0) cookie_ = nullptr;
}

LibraryLoadWatch::~LibraryLoadWatch() {
  const auto unregister = GetProcAddressAs<UnregisterFn>(Ntdll(), "LdrUnregisterDllNotification");
  if (cookie_ && unregister) unregister(cookie_);
}

std::vector<std::wstring> LibraryLoadWatch::LoadedWithRedirectionOff() const {
  std::lock_guard<std::mutex> guard(lock_);
  return loaded_;
}

void __stdcall LibraryLoadWatch::OnLoad(unsigned long reason, const void* data, void* context) {
  if (reason != kLoaded || !data || !RedirectionIsOff()) return;
  const UNICODE_STRING* name = static_cast<const LoadNotice*>(data)->base_name;
  auto* watch = static_cast<LibraryLoadWatch*>(context);
  std::lock_guard<std::mutex> guard(watch->lock_);
  watch->loaded_.emplace_back(name->Buffer, name->Length / sizeof(wchar_t));
}

}  // namespace velmora::test
