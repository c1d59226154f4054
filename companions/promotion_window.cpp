#include "companions/promotion_window.h"

#include "config/app_config.h"
#include "config/time_rules.h"
#include "platform/system_functions.h"

namespace velmora {
namespace {

// The DPI of the monitor the window is on; the screen's when the system cannot say per monitor.
UINT MonitorDpi(HWND hwnd) {
  if (auto get_dpi_for_monitor = GetDpiFunctions().get_dpi_for_monitor) {
    UINT x = 0, y = 0;
    HMONITOR monitor = ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTOPRIMARY);
    if (SUCCEEDED(get_dpi_for_monitor(monitor, /*MDT_EFFECTIVE_DPI=*/0, &x, &y)) && x != 0) return x;
  }
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 0;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace

int ScaleToDpi(int pixels, UINT dpi) {
  if (dpi == 0) return pixels;
  return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

POINT PromotionWindowOrigin(const RECT& work_area, SIZE size, int margin) {
  return POINT{work_area.right - margin - size.cx, work_area.bottom - margin - size.cy};
}

CWndPromotion::CWndPromotion(CSkinComponent& skin) : skin_(skin) {}

CWndPromotion::~CWndPromotion() { ReleaseSubscriptions(); }

INT_PTR CWndPromotion::DoModal(HINSTANCE resources, HWND owner) {
  resources_ = resources;
  const INT_PTR result = ::DialogBoxParamW(resources, MAKEINTRESOURCEW(kPromotionDialogId), owner,
                                           &CWndPromotion::DialogProc, reinterpret_cast<LPARAM>(this));
  ReleaseSubscriptions();
  return result == kPromotionAccepted ? kPromotionAccepted : kPromotionDeclined;
}

INT_PTR CALLBACK CWndPromotion::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  CWndPromotion* self = nullptr;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CWndPromotion*>(lparam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<CWndPromotion*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  }
  if (!self) return FALSE;
  try {
    const INT_PTR answer = self->HandleMessage(message, wparam, lparam);
    if (message == WM_NCDESTROY) {
      ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      self->hwnd_ = nullptr;
    }
    return answer;
  } catch (...) {
    // A window procedure lets nothing escape.
    return FALSE;
  }
}

INT_PTR CWndPromotion::HandleMessage(UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitDialog();
      return FALSE;  // no focus of our own: the prompt does not take the keyboard
    case WM_COMMAND:
      // Escape, or the system's close: the prompt is declined.
      if (LOWORD(wparam) == IDCANCEL) End(kPromotionDeclined);
      return TRUE;
    case WM_DESTROY:
      ReleaseSubscriptions();
      return FALSE;
    default:
      return FALSE;
  }
}

void CWndPromotion::OnInitDialog() {
  // The skin draws the frame: no caption or border of ours, and no task bar button.
  ::SetWindowLongPtrW(hwnd_, GWL_STYLE, ::GetWindowLongPtrW(hwnd_, GWL_STYLE) & ~static_cast<LONG_PTR>(WS_CAPTION));
  ::SetWindowLongPtrW(hwnd_, GWL_EXSTYLE, ::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE) | WS_EX_TOOLWINDOW);
  ::SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

  big_icon_.reset(static_cast<HICON>(::LoadImageW(resources_, MAKEINTRESOURCEW(kPromotionIconId), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), 0)));
  small_icon_.reset(static_cast<HICON>(::LoadImageW(resources_, MAKEINTRESOURCEW(kPromotionIconId), IMAGE_ICON,
                                                    ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0)));
  if (big_icon_) ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
  if (small_icon_) ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

  // A prompt whose skin fails never shows; the steps after this still run, so a failed prompt
  // waits its day like a shown one.
  if (!AttachSkin()) End(kPromotionDeclined);
  if (ISkinSite* site = skin_.Site()) site->SetRenderMode(2);
  ::DisableProcessWindowsGhosting();
  WriteSettingsDword(L"last_show_promotion", ToRegistryTime(NowSeconds()));
  PlaceInCorner();
}

bool CWndPromotion::AttachSkin() {
  ISkinSite* site = skin_.Site();
  if (!site || FAILED(site->LoadLayout(hwnd_, skin_.Paths().layout.c_str()))) return false;
  ComRef<IUnknown> content, close, switch_on;
  if (FAILED(site->FindControl(hwnd_, kPromotionContentControl, content.receive())) || !content ||
      FAILED(content->QueryInterface(kSkinContentId, content_.receive_void())) || !content_) {
    return false;
  }
  if (FAILED(site->FindControl(hwnd_, kPromotionCloseControl, close.receive())) || !close ||
      FAILED(site->FindControl(hwnd_, kPromotionSwitchOnControl, switch_on.receive())) || !switch_on) {
    return false;
  }
  auto on_click = [this](LONG id) {
    if (id == kPromotionSwitchOnControl) End(kPromotionAccepted);
    if (id == kPromotionCloseControl) End(kPromotionDeclined);
  };
  close_sink_ = CSkinEventSink::Create(kPromotionCloseControl, on_click);
  switch_on_sink_ = CSkinEventSink::Create(kPromotionSwitchOnControl, on_click);
  return close_sink_ && switch_on_sink_ && close_sink_->Advise(close.get()) && switch_on_sink_->Advise(switch_on.get());
}

void CWndPromotion::PlaceInCorner() {
  RECT window{}, work_area{};
  if (!::GetWindowRect(hwnd_, &window) || !::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_area, 0)) return;
  const int margin = skin_.Scale(kPromotionMarginPixels).value_or(ScaleToDpi(kPromotionMarginPixels, MonitorDpi(hwnd_)));
  const POINT origin =
      PromotionWindowOrigin(work_area, SIZE{window.right - window.left, window.bottom - window.top}, margin);
  ::SetWindowPos(hwnd_, HWND_TOPMOST, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
}

void CWndPromotion::End(INT_PTR result) {
  ReleaseSubscriptions();
  ::EndDialog(hwnd_, result);
}

void CWndPromotion::ReleaseSubscriptions() {
  if (close_sink_) close_sink_->Unadvise();
  if (switch_on_sink_) switch_on_sink_->Unadvise();
  close_sink_.reset();
  switch_on_sink_.reset();
  content_.reset();
}

INT_PTR RunPromotionPrompt(HINSTANCE resources, const std::wstring& suite_folder) {
  const DpiFunctions& dpi = GetDpiFunctions();
  CSkinComponent skin(suite_folder);
  (void)skin.Start();  // a skin that failed leaves the dialog to end by itself
  if (dpi.set_process_dpi_awareness) dpi.set_process_dpi_awareness(/*PROCESS_SYSTEM_DPI_AWARE=*/1);
  if (dpi.set_process_dpi_aware) dpi.set_process_dpi_aware();
  skin.SetDpiFlag(1);
  CWndPromotion window(skin);
  return window.DoModal(resources, ::GetActiveWindow());
}

}  // namespace velmora
