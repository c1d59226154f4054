#include "companions/upload_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <ole2.h>
#include <shlobj.h>

#include <cwchar>
#include <new>
#include <vector>

#include "platform/process_facts.h"

namespace velmora {
namespace {

constexpr int kReadOnlyBoxId = 0x410;  // chx1
constexpr size_t kFolderChars = 260;
// The procedure a filtered window had before, kept on the window itself: the shell may make new
// view windows while old ones still receive their last messages.
constexpr wchar_t kSavedProcedure[] = L"VelmoraUploadSavedProc";

// The open dialog's state; touched only on the thread that shows it.
struct DialogState {
  bool open = false;
  HWND hook = nullptr;
  HWND dialog = nullptr;
  HWND shell_view = nullptr;
  HWND list_view = nullptr;
  HHOOK keyboard_hook = nullptr;
  HWND next_viewer = nullptr;
  std::wstring folder;  // the folder the filters were last applied for
};
DialogState g_state;

bool IsOldWindows() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  return GetRealOSVersion(&version) && version.dwMajorVersion <= 5;
}

// Replaces the procedure of `window` by `filter` unless it already is that filter.
void Subclass(HWND window, WNDPROC filter) {
  if (!window) return;
  if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) == filter) return;
  const LONG_PTR old = ::GetWindowLongPtrW(window, GWLP_WNDPROC);
  if (!old || !::SetPropW(window, kSavedProcedure, reinterpret_cast<HANDLE>(old))) return;
  ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(filter));
}

// Gives `window` its own procedure back when it still has `filter`.
void Unsubclass(HWND window, WNDPROC filter) {
  if (!window || !::IsWindow(window)) return;
  const HANDLE old = ::GetPropW(window, kSavedProcedure);
  if (old && reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(window, GWLP_WNDPROC)) == filter) {
    ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
  }
  ::RemovePropW(window, kSavedProcedure);
}

// The saved procedure's answer; a window that lost its saved procedure gets the default one.
LRESULT CallSaved(HWND window, UINT message, WPARAM wparam, LPARAM lparam, WNDPROC filter) {
  const auto old = reinterpret_cast<WNDPROC>(::GetPropW(window, kSavedProcedure));
  if (message == WM_NCDESTROY) Unsubclass(window, filter);
  if (!old) return ::DefWindowProcW(window, message, wparam, lparam);
  return ::CallWindowProcW(old, window, message, wparam, lparam);
}

void ApplyFilters() {
  if (!g_state.dialog || !::IsWindow(g_state.dialog)) return;
  g_state.shell_view = ::FindWindowExW(g_state.dialog, nullptr, L"SHELLDLL_DefView", nullptr);
  g_state.list_view = g_state.shell_view ? ::FindWindowExW(g_state.shell_view, nullptr, L"SysListView32", nullptr)
                                         : nullptr;
  Subclass(g_state.list_view, &UploadListViewFilter);
  Subclass(g_state.shell_view, &UploadShellViewFilter);
  if (g_state.list_view) {
    const LONG_PTR style = ::GetWindowLongPtrW(g_state.list_view, GWL_STYLE);
    ::SetWindowLongPtrW(g_state.list_view, GWL_STYLE, style & ~static_cast<LONG_PTR>(LVS_EDITLABELS));
    ::RevokeDragDrop(g_state.list_view);
  }
  // Some shells register the view itself, not its list, as the drop target.
  if (g_state.shell_view) ::RevokeDragDrop(g_state.shell_view);
}

// Whether the folder and the names, up to the empty name that ends them, lie inside the first
// kUploadBufferChars characters of `buffer` (which has spare room behind them).
bool EndsWithinDeclaredSize(const wchar_t* buffer, size_t file_offset) {
  if (file_offset >= kUploadBufferChars) return false;
  size_t at = wcsnlen(buffer, kUploadBufferChars);
  if (at >= kUploadBufferChars) return false;
  if (at < file_offset) {  // several names: each ends with a NUL, the list with an empty name
    at = file_offset;
    while (at < kUploadBufferChars && buffer[at] != L'\0') at += wcsnlen(buffer + at, kUploadBufferChars - at) + 1;
  } else {  // one full path
    at += 1;
  }
  return at < kUploadBufferChars;
}

void OnInitDialog(HWND hook) {
  g_state.hook = hook;
  g_state.next_viewer = ::SetClipboardViewer(hook);
  g_state.dialog = ::GetParent(hook);
  if (g_state.dialog) ::SendMessageW(g_state.dialog, CDM_HIDECONTROL, kReadOnlyBoxId, 0);
  if (!g_state.keyboard_hook) {
    g_state.keyboard_hook = ::SetWindowsHookExW(WH_KEYBOARD, &UploadKeyboardFilter, nullptr, ::GetCurrentThreadId());
  }
}

void OnFolderChange() {
  if (!IsOldWindows()) {
    if (!g_state.dialog) return;
    wchar_t folder[kFolderChars] = {};
    const LRESULT length = ::SendMessageW(g_state.dialog, CDM_GETFOLDERPATH, kFolderChars, reinterpret_cast<LPARAM>(folder));
    if (length > 0) {
      folder[kFolderChars - 1] = L'\0';
      if (g_state.folder == folder) return;
      g_state.folder = folder;
    } else {
      // A place without a path (Computer, Libraries, Network): the views shown next are new
      // ones, so coming back to the remembered folder must filter them again.
      g_state.folder.clear();
    }
  }
  ApplyFilters();
}

void OnDrawClipboard(HWND hook, WPARAM wparam, LPARAM lparam) {
  if (::OpenClipboard(hook)) {
    if (::IsClipboardFormatAvailable(CF_HDROP)) ::EmptyClipboard();
    ::CloseClipboard();
  }
  if (g_state.next_viewer) ::SendMessageW(g_state.next_viewer, WM_DRAWCLIPBOARD, wparam, lparam);
}

void OnChangeClipboardChain(WPARAM wparam, LPARAM lparam) {
  if (reinterpret_cast<HWND>(wparam) == g_state.next_viewer) {
    g_state.next_viewer = reinterpret_cast<HWND>(lparam);
  } else if (g_state.next_viewer) {
    ::SendMessageW(g_state.next_viewer, WM_CHANGECBCHAIN, wparam, lparam);
  }
}

void OnDestroy(HWND hook) {
  Unsubclass(g_state.list_view, &UploadListViewFilter);
  Unsubclass(g_state.shell_view, &UploadShellViewFilter);
  ::ChangeClipboardChain(hook, g_state.next_viewer);
  if (g_state.keyboard_hook) ::UnhookWindowsHookEx(g_state.keyboard_hook);
  const bool open = g_state.open;
  g_state = DialogState();
  g_state.open = open;
}

}  // namespace

std::optional<UploadSelection> ShowUploadDialog(HWND owner) {
  if (g_state.open) return std::nullopt;
  // Some file dialogs copy a multiple selection without looking at nMaxFile (measured under Wine:
  // 40 names of 120 characters went past a 4096-character buffer). The spare room behind the
  // declared size takes such a copy; a selection that does not fit the declared size is refused
  // afterwards, as the system dialog refuses it.
  std::vector<wchar_t> buffer;
  try {
    buffer.assign(kUploadBufferChars + kUploadSpareChars, L'\0');
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  wchar_t desktop[MAX_PATH] = {};
  const bool have_desktop = SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_DESKTOP, nullptr, SHGFP_TYPE_CURRENT, desktop));
  static const wchar_t kFilter[] = L"\u6240\u6709\u6587\u4EF6(*.*)\0*.*\0";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = kFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(kUploadBufferChars);
  dialog.lpstrInitialDir = have_desktop ? desktop : nullptr;
  dialog.lpstrTitle = kUploadDialogTitle;
  // Shortcuts are chosen as themselves, not as their targets.
  dialog.Flags = OFN_HIDEREADONLY | OFN_ALLOWMULTISELECT | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_EXPLORER |
                 OFN_NODEREFERENCELINKS | OFN_ENABLESIZING | OFN_ENABLEHOOK;
  dialog.lpfnHook = &UploadDialogHook;
  g_state.open = true;
  const BOOL chosen = ::GetOpenFileNameW(&dialog);
  // A dialog that ended without destroying its hook window leaves nothing behind either.
  if (g_state.hook) OnDestroy(g_state.hook);
  g_state = DialogState();
  if (!chosen) return std::nullopt;  // cancelled, or failed (a selection too long for the buffer)
  if (!EndsWithinDeclaredSize(buffer.data(), dialog.nFileOffset)) return std::nullopt;
  return UploadSelection{std::wstring(buffer.data(), kUploadBufferChars), dialog.nFileOffset};
}

UINT_PTR CALLBACK UploadDialogHook(HWND hook, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog(hook);
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header && header->code == static_cast<UINT>(CDN_FOLDERCHANGE)) OnFolderChange();
      break;
    }
    case WM_DRAWCLIPBOARD:
      OnDrawClipboard(hook, wparam, lparam);
      break;
    case WM_CHANGECBCHAIN:
      OnChangeClipboardChain(wparam, lparam);
      break;
    case WM_DESTROY:
      OnDestroy(hook);
      break;
    default:
      break;
  }
  return 0;
}

LRESULT CALLBACK UploadListViewFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CONTEXTMENU:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      return 0;
    default:
      return CallSaved(window, message, wparam, lparam, &UploadListViewFilter);
  }
}

LRESULT CALLBACK UploadShellViewFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NOTIFY) {
    const auto* header = reinterpret_cast<const NMHDR*>(lparam);
    if (header && header->code == static_cast<UINT>(LVN_BEGINDRAG)) return 0;
  }
  return CallSaved(window, message, wparam, lparam, &UploadShellViewFilter);
}

LRESULT CALLBACK UploadKeyboardFilter(int code, WPARAM wparam, LPARAM lparam) {
  if (code >= 0) {
    const bool control = ::GetKeyState(VK_CONTROL) < 0;
    switch (wparam) {
      case VK_DELETE:
        return 1;
      case 'D':
      case 'C':
      case 'X':
      case 'V':
        if (control) return 1;
        break;
      case VK_RETURN:
        if (::GetKeyState(VK_MENU) < 0) return 1;
        break;
      default:
        break;
    }
  }
  return ::CallNextHookEx(g_state.keyboard_hook, code, wparam, lparam);
}

}  // namespace velmora
