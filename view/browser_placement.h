// Where the side bar's browser window stands: centred or full screen when the page shows
// itself, brought to the front, dragged by the page, and kept topmost or at the bottom of the
// z-order by the periodic z-order watch. Main thread; every operation does nothing without a
// browser or browser window.
#pragma once

#include <windows.h>

#include "view/shell_interfaces.h"

namespace velmora {

// Where the browser window goes when centred on a work area: the rules of ShowCentered for a
// window of `width` x `height`. Pure.
POINT CenteredPosition(const RECT& work_area, int width, int height);

class CBrowserPlacement {
 public:
  // Keeps other processes from taking the foreground until the page first shows itself centred.
  void LockForeground();

  // Bounds (0, 0, width, height), centred on the work area of the window's monitor, shown,
  // ending the foreground lock.
  void ShowCentered(shell::ShellBrowser* browser, int width, int height);
  // The primary monitor's work area, without activation; showing is the caller's next step.
  void ShowFullScreen(shell::ShellBrowser* browser);
  // Topmost (and, unless `keep_topmost`, not topmost again) and foreground, unless the
  // foreground window is one of this thread's.
  void BringToFront(HWND window, bool keep_topmost);

  // Dragging: StartDrag keeps the cursor's offset in the window; each DragStep moves the window
  // with the cursor and answers false once no mouse button is down (the drag is over).
  void StartDrag(HWND window);
  [[nodiscard]] bool DragStep(HWND window);

  // The z-order watch: topmost unless the message center's quiet setting asks for the bottom
  // (a failed query counts as quiet).
  void KeepZOrder(HWND window);

  bool topmost() const { return topmost_; }
  bool quiet() const { return quiet_; }

 private:
  POINT drag_offset_{};
  BOOL foreground_locked_ = FALSE;
  bool keep_topmost_ = false;
  bool topmost_ = true;  // the side bar starts topmost
  bool quiet_ = false;
};

}  // namespace velmora
