// The process-wide side bar window handle: the window that background code, the foreground watch
// and the browser window's focus hook post to. Null before the side bar window exists and from
// the start of shutdown on, so nothing posts to a window on its way out. Any thread.
#pragma once

#include <windows.h>

#include "platform/window_slot.h"

namespace velmora {

// The slot itself, for code below the side bar (workers) that is handed it.
CWindowSlot& SideBarWindowSlot();

inline HWND GetSideBarWindow() { return SideBarWindowSlot().Get(); }
inline void SetSideBarWindow(HWND window) { SideBarWindowSlot().Set(window); }

}  // namespace velmora
