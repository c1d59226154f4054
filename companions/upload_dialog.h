// The open-file dialog in which the user picks files for the AI assistant, restricted to
// choosing: its hook takes away context menus, right clicks, in-place renaming, dragging files
// out and dropping files in, Delete, Ctrl+D/C/X/V, Alt+Enter and the read-only box, and wipes any
// list of files put on the clipboard while the dialog is open (text stays).
//
// One dialog at a time per process; everything runs on the thread that shows it. The hook and
// filter procedures are public so that they can be driven with the messages they filter.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace velmora {

// What the dialog returned: its whole buffer (folder, NUL, names each ended by NUL, an empty
// name; or one full path) and the offset of the first name in it.
struct UploadSelection {
  std::wstring buffer;
  size_t file_offset = 0;
};

// Buffer of the dialog, in characters, and the spare room allocated behind it.
constexpr size_t kUploadBufferChars = 4096;
constexpr size_t kUploadSpareChars = 65536;
// The dialog's title.
constexpr wchar_t kUploadDialogTitle[] = L"\u9009\u62E9\u8981\u4E0A\u4F20\u7684\u6587\u4EF6";

// Shows the restricted multiple-selection open-file dialog, modal to `owner` (may be null),
// starting on the desktop. nullopt when cancelled or when the dialog failed (a selection longer
// than the buffer included). Refuses (nullopt) while another upload dialog is open.
std::optional<UploadSelection> ShowUploadDialog(HWND owner);

// The dialog hook (OFN_ENABLEHOOK with OFN_EXPLORER): `hook` is the child dialog, its parent the
// file dialog. Handles WM_INITDIALOG, CDN_FOLDERCHANGE, WM_DRAWCLIPBOARD, WM_CHANGECBCHAIN and
// WM_DESTROY; answers 0 to everything.
UINT_PTR CALLBACK UploadDialogHook(HWND hook, UINT message, WPARAM wparam, LPARAM lparam);
// Replacement procedure of the shell view's list view: swallows WM_CONTEXTMENU, WM_RBUTTONDOWN
// and WM_RBUTTONUP.
LRESULT CALLBACK UploadListViewFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Replacement procedure of the shell view: swallows the list view's LVN_BEGINDRAG notices.
LRESULT CALLBACK UploadShellViewFilter(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// The dialog thread's keyboard hook: swallows Delete, Ctrl+D/C/X/V and Alt+Enter (1), passes on
// anything else.
LRESULT CALLBACK UploadKeyboardFilter(int code, WPARAM wparam, LPARAM lparam);

}  // namespace velmora
