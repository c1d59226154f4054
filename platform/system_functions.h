// System functions that not every Windows version has, resolved once per process.
#pragma once

#include <windows.h>

#include <delayimp.h>

namespace velmora {

struct DpiFunctions {
  UINT(WINAPI* get_dpi_for_window)(HWND) = nullptr;
  BOOL(WINAPI* set_process_dpi_aware)() = nullptr;
  BOOL(WINAPI* is_process_dpi_aware)() = nullptr;
  HRESULT(WINAPI* set_process_dpi_awareness)(int) = nullptr;
  HRESULT(WINAPI* get_process_dpi_awareness)(HANDLE, int*) = nullptr;
  HRESULT(WINAPI* get_dpi_for_monitor)(HMONITOR, int, UINT*, UINT*) = nullptr;
};

// The DPI functions of User32.dll and, on Windows later than 6.2 when the system folder has
// Shcore.dll, of Shcore.dll. Any entry may be null. Resolved on first use; thread-safe.
const DpiFunctions& GetDpiFunctions();

// True for versions later than Windows 8 (6.2), where per-monitor DPI functions exist.
bool IsLaterThanWindows8(DWORD major, DWORD minor);

// `search` (LOAD_LIBRARY_SEARCH_* flags) where the system's loader knows those flags, else 0:
// Windows 7 gained them with an update, and without it refuses every load that names them.
DWORD LibrarySearchFlags(DWORD search);

// Restricts the process's library search to the system folder (SetDefaultDllDirectories), where
// the system has that function, and has the delay-import helper load the program's delay-loaded
// libraries through LoadDelayedLibrary. Called first thing at start, before any library is loaded
// by name.
void RestrictLibrarySearchToSystemFolder();

// The delay-import helper's notice hook: before it loads a delay-loaded library by its bare name,
// the library from the system folder by full path (LoadSystemLibrary), so that even where
// SetDefaultDllDirectories is missing no file of that name is taken from the program's or the
// current folder. Null for other notices, and when there is no such system library (the helper
// then goes on as usual).
FARPROC WINAPI LoadDelayedLibrary(unsigned notice, PDelayLoadInfo info);

// Loads `name` from the system folder only, by full path, its dependencies from there too. Null
// when there is none. The caller owns the module (FreeLibrary).
HMODULE LoadSystemLibrary(const wchar_t* name);

// A typed GetProcAddress: null when the module or the export is missing.
template <typename Fn>
Fn GetProcAddressAs(HMODULE module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace velmora
