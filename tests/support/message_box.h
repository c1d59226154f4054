// Finding and reading the message boxes that programs under test show.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmora::test {

// The first message box (dialog class "#32770") titled `caption` that belongs to the process whose
// id `process_id` gives (asked again on every poll: 0 means "not known yet"); waits up to
// `timeout_ms`. Null when none appeared.
HWND WaitForMessageBox(const std::function<DWORD()>& process_id, const wchar_t* caption, DWORD timeout_ms);

// The box's text: its longest static control's. `icons`, when given, receives the number of
// visible icon controls.
std::wstring MessageBoxText(HWND box, int* icons = nullptr);

}  // namespace velmora::test
