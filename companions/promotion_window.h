// The promotion prompt: a small skinned dialog in the bottom-right corner of the work area that
// offers to switch the side bar on. The skin engine (CSkinComponent) builds its content from the
// layout file and reports the clicks of its two buttons. Main thread only.
#pragma once

#include <windows.h>

#include <string>

#include "platform/com_ref.h"
#include "companions/skin_component.h"
#include "companions/skin_event_sink.h"
#include "platform/scoped_handle.h"

namespace velmora {

constexpr int kPromotionDialogId = 129;
constexpr int kPromotionIconId = 107;
// Dialog results.
constexpr INT_PTR kPromotionAccepted = 1;  // switch the side bar on
constexpr INT_PTR kPromotionDeclined = 2;  // closed, declined or failed
// The gap between the prompt and the work area's right and bottom edges, at 96 DPI.
constexpr int kPromotionMarginPixels = 5;

// `pixels` at 96 DPI scaled to `dpi` (rounded); `pixels` unchanged for a DPI of 0. Pure.
int ScaleToDpi(int pixels, UINT dpi);

// Where a window of `size` goes so that its right and bottom edges lie `margin` inside the work
// area's. Pure.
POINT PromotionWindowOrigin(const RECT& work_area, SIZE size, int margin);

class CWndPromotion {
 public:
  explicit CWndPromotion(CSkinComponent& skin);
  ~CWndPromotion();
  CWndPromotion(const CWndPromotion&) = delete;
  CWndPromotion& operator=(const CWndPromotion&) = delete;

  // Runs dialog kPromotionDialogId of `resources` modally, owned by `owner`, and answers
  // kPromotionAccepted or kPromotionDeclined (also when the dialog could not be made). The
  // time of the prompt is recorded whenever its window was created, also when the skin failed.
  INT_PTR DoModal(HINSTANCE resources, HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInitDialog();
  bool AttachSkin();
  void PlaceInCorner();
  void End(INT_PTR result);
  void ReleaseSubscriptions();

  CSkinComponent& skin_;
  HINSTANCE resources_ = nullptr;
  HWND hwnd_ = nullptr;
  ScopedIcon big_icon_;
  ScopedIcon small_icon_;
  ComRef<IUnknown> content_;
  ComRef<CSkinEventSink> close_sink_;
  ComRef<CSkinEventSink> switch_on_sink_;
};

// The promotion mode's prompt: starts the skin, makes the process DPI-aware and runs the dialog
// owned by the active window. Answers the dialog's result.
INT_PTR RunPromotionPrompt(HINSTANCE resources, const std::wstring& suite_folder);

}  // namespace velmora
