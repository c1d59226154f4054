#include "tests/support/message_box.h"

#include "platform/text.h"

namespace velmora::test {

HWND WaitForMessageBox(const std::function<DWORD()>& process_id, const wchar_t* caption, DWORD timeout_ms) {
  for (DWORD waited = 0; waited < timeout_ms; waited += 50) {
    const DWORD id = process_id();
    for (HWND window = ::FindWindowW(L"#32770", caption); window && id != 0;
         window = ::FindWindowExW(nullptr, window, L"#32770", caption)) {
      DWORD owner = 0;
      ::GetWindowThreadProcessId(window, &owner);
      // The box is found by class while the dialog is still being built; once it is visible its
      // text and icon controls are all there.
      if (owner == id && ::IsWindowVisible(window)) return window;
    }
    ::Sleep(50);
  }
  return nullptr;
}

std::wstring MessageBoxText(HWND box, int* icons) {
  std::wstring longest;
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t class_name[32] = {};
    ::GetClassNameW(child, class_name, 32);
    if (!EqualsIgnoreAsciiCase(class_name, L"Static")) continue;
    if (icons && (::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && ::IsWindowVisible(child)) ++*icons;
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(child)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(child, text.data(), static_cast<int>(text.size()))));
    if (text.size() > longest.size()) longest = text;
  }
  return longest;
}

}  // namespace velmora::test
