// The browser window's focus hook: its window procedure is replaced by one that tells the side
// bar when the page loses the keyboard focus. Main thread.
#pragma once

#include <windows.h>

namespace velmora {

// Replaces `window`'s procedure once (a second call does nothing). On WM_KILLFOCUS of an enabled
// window WM_WINDOW_BLUR is posted to the side bar window while its handle is set; every message
// then goes on to the previous procedure, which is put back at WM_NCDESTROY.
void HookBrowserFocus(HWND window);

}  // namespace velmora
