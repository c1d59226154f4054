// Stand-in SkinSite.dll: the skin site that builds the promotion window's content. It reads the
// layout XML with the program's own XML reader, makes a real child window for each control the
// layout names, and reports the buttons' clicks through their connection points.
//
// Layout: <Window size="w,h"> with <Control id="n" kind="content|button" pos="x,y,w,h" text="..."/>
// children; lengths at 96 DPI.
//
// Click script: VELMORA_SKIN_CLICK="<control id> <delay ms>" clicks that control (BM_CLICK) the
// given time after the window is first shown.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "companions/skin_interfaces.h"
#include "standins/common/standin_log.h"
#include "standins/skin/skin_ids.h"
#include "xml/xml_document.h"

namespace {

using velmora::ISkinResource;
using velmora::ISkinSite;
using velmora::ISkinTheme;

constexpr UINT_PTR kClickTimer = 0x5C1C;

int Dpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

int Scaled(int pixels) { return ::MulDiv(pixels, Dpi(), 96); }

// "a,b,c,d" into up to four numbers; false when fewer than `count` were read.
bool ReadNumbers(const std::wstring& text, int* numbers, int count) {
  int read = 0;
  const wchar_t* p = text.c_str();
  while (read < count && *p) {
    wchar_t* end = nullptr;
    const long value = std::wcstol(p, &end, 10);
    if (end == p) return false;
    numbers[read++] = static_cast<int>(value);
    p = end;
    if (*p == L',') ++p;
  }
  return read == count;
}

// The events of one control: the sinks advised on it.
class EventPoint final : public standin::RefCounted<IConnectionPoint> {
 public:
  explicit EventPoint(IConnectionPointContainer* container) : RefCounted(IID_IConnectionPoint), container_(container) {}

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    if (!iid) return E_POINTER;
    *iid = velmora::kSiteEventsId;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
    if (!container) return E_POINTER;
    *container = container_;
    container_->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!sink || !cookie) return E_POINTER;
    IDispatch* dispatch = nullptr;
    if (FAILED(sink->QueryInterface(velmora::kSiteEventsId, reinterpret_cast<void**>(&dispatch))) || !dispatch) {
      return CONNECT_E_CANNOTCONNECT;
    }
    sinks_.push_back({++last_cookie_, dispatch});
    *cookie = last_cookie_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
      if (it->cookie != cookie) continue;
      IDispatch* sink = it->sink;
      sinks_.erase(it);
      sink->Release();
      return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** connections) override {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
  }

  // Calls every sink's click; a sink may unadvise itself (or others) meanwhile.
  void FireClick() {
    std::vector<IDispatch*> sinks;
    for (const Sink& s : sinks_) {
      s.sink->AddRef();
      sinks.push_back(s.sink);
    }
    for (IDispatch* sink : sinks) {
      DISPPARAMS none{};
      sink->Invoke(velmora::kSiteClickDispId, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                   nullptr);
      sink->Release();
    }
  }
  size_t SinkCount() const { return sinks_.size(); }
  void DropAll() {
    for (const Sink& s : sinks_) s.sink->Release();
    sinks_.clear();
  }

 private:
  struct Sink {
    DWORD cookie;
    IDispatch* sink;
  };
  IConnectionPointContainer* container_;  // our owner, which outlives its point's use
  std::vector<Sink> sinks_;
  DWORD last_cookie_ = 0;
};

class Control final : public standin::RefCounted<IConnectionPointContainer> {
 public:
  Control(LONG id, bool content, HWND window)
      : RefCounted(IID_IConnectionPointContainer), id_(id), content_(content), window_(window),
        point_(new EventPoint(this)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object && content_ && iid == velmora::kSkinContentId) {
      *object = static_cast<IConnectionPointContainer*>(this);
      AddRef();
      return S_OK;
    }
    return RefCounted::QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
    if (points) *points = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (iid != velmora::kSiteEventsId) return CONNECT_E_NOCONNECTION;
    *point = point_;
    point_->AddRef();
    return S_OK;
  }

  LONG id() const { return id_; }
  HWND window() const { return window_; }
  EventPoint* point() const { return point_; }

 private:
  ~Control() override {
    point_->DropAll();
    point_->Release();
  }
  LONG id_;
  bool content_;
  HWND window_;
  EventPoint* point_;
};

// The one window the site has built a layout into (the stand-in serves one prompt per process).
struct Layout {
  HWND dialog = nullptr;
  WNDPROC previous = nullptr;
  std::vector<Control*> controls;
  bool shown = false;
};
Layout g_layout;

Control* FindLayoutControl(LONG id) {
  for (Control* control : g_layout.controls) {
    if (control->id() == id) return control;
  }
  return nullptr;
}

void LogShown(HWND dialog) {
  RECT rect{};
  ::GetWindowRect(dialog, &rect);
  const LONG_PTR style = ::GetWindowLongPtrW(dialog, GWL_STYLE);
  const LONG_PTR ex_style = ::GetWindowLongPtrW(dialog, GWL_EXSTYLE);
  std::string controls;
  for (Control* control : g_layout.controls) {
    controls += (controls.empty() ? "" : ",") + std::to_string(control->id()) + ":" +
                std::to_string(control->point()->SinkCount());
  }
  standin::Log("skin", "shown rect=%ld,%ld,%ld,%ld topmost=%d caption=%d toolwindow=%d sinks=%s", rect.left, rect.top,
               rect.right, rect.bottom, (ex_style & WS_EX_TOPMOST) ? 1 : 0, (style & WS_CAPTION) ? 1 : 0,
               (ex_style & WS_EX_TOOLWINDOW) ? 1 : 0, controls.c_str());
}

void StartClickScript(HWND dialog) {
  wchar_t script[64] = {};
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_SKIN_CLICK", script, 64);
  if (length == 0 || length >= 64) return;
  int values[2] = {};
  if (std::swscanf(script, L"%d %d", &values[0], &values[1]) != 2) return;
  ::SetPropW(dialog, L"VelmoraSkinClick", reinterpret_cast<HANDLE>(static_cast<INT_PTR>(values[0])));
  ::SetTimer(dialog, kClickTimer, static_cast<UINT>(values[1] > 0 ? values[1] : 1), nullptr);
}

LRESULT CALLBACK LayoutProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  const WNDPROC previous = g_layout.previous;
  switch (message) {
    case WM_SHOWWINDOW:
      if (wparam && !g_layout.shown) {
        g_layout.shown = true;
        LRESULT answer = ::CallWindowProcW(previous, hwnd, message, wparam, lparam);
        LogShown(hwnd);
        StartClickScript(hwnd);
        return answer;
      }
      break;
    case WM_TIMER:
      if (wparam == kClickTimer) {
        ::KillTimer(hwnd, kClickTimer);
        const LONG id = static_cast<LONG>(reinterpret_cast<INT_PTR>(::RemovePropW(hwnd, L"VelmoraSkinClick")));
        standin::Log("skin", "click %ld", static_cast<long>(id));
        if (Control* control = FindLayoutControl(id)) ::SendMessageW(control->window(), BM_CLICK, 0, 0);
        return 0;
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wparam) == BN_CLICKED) {
        if (Control* control = FindLayoutControl(LOWORD(wparam))) {
          control->AddRef();
          control->point()->FireClick();
          control->Release();
          return 0;
        }
      }
      break;
    case WM_NCDESTROY: {
      ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
      for (Control* control : g_layout.controls) control->Release();
      g_layout = Layout{};
      standin::Log("skin", "closed");
      return ::CallWindowProcW(previous, hwnd, message, wparam, lparam);
    }
    default:
      break;
  }
  return ::CallWindowProcW(previous, hwnd, message, wparam, lparam);
}

class Theme final : public standin::RefCounted<ISkinTheme> {
 public:
  Theme() : RefCounted(standin::kSkinThemeId) {}
  HRESULT STDMETHODCALLTYPE LoadDescription(const wchar_t* path) override {
    standin::Log("skin", "theme-description %s", standin::Narrow(path).c_str());
    return S_OK;
  }
};

class Resource final : public standin::RefCounted<ISkinResource> {
 public:
  Resource() : RefCounted(standin::kSkinResourceId) {}
  HRESULT STDMETHODCALLTYPE Load(const wchar_t* path) override {
    velmora::CXmlDocument document;
    const bool loaded = path && document.LoadFile(path);
    standin::Log("skin", "resources %s %s", loaded ? "loaded" : "failed", standin::Narrow(path).c_str());
    return loaded ? S_OK : E_FAIL;
  }
};

class Site final : public standin::RefCounted<ISkinSite> {
 public:
  Site() : RefCounted(velmora::kSkinSiteId) {}

  HRESULT STDMETHODCALLTYPE ApplyTheme(const wchar_t* theme_file) override {
    standin::Log("skin", "theme %s", standin::Narrow(theme_file).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTheme(ISkinTheme** theme) override {
    if (!theme) return E_POINTER;
    *theme = new Theme();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateResource(ISkinResource** resource) override {
    if (!resource) return E_POINTER;
    *resource = new Resource();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE RegisterResource(ISkinResource* resource) override {
    return resource ? S_OK : E_POINTER;
  }

  HRESULT STDMETHODCALLTYPE LoadLayout(HWND window, const wchar_t* layout_file) override {
    if (!::IsWindow(window) || !layout_file || g_layout.dialog) return E_INVALIDARG;
    // Watch the window from here on, so that a window shown without its layout is seen too.
    g_layout.dialog = window;
    g_layout.previous = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LayoutProc)));

    velmora::CXmlDocument document;
    const velmora::XmlElement* root = document.LoadFile(layout_file) ? document.Root() : nullptr;
    int size[2] = {};
    if (!root || root->name != L"Window" || !ReadNumbers(root->Attribute(L"size"), size, 2)) {
      standin::Log("skin", "layout failed %s", standin::Narrow(layout_file).c_str());
      return E_FAIL;
    }
    ::SetWindowPos(window, nullptr, 0, 0, Scaled(size[0]), Scaled(size[1]), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    std::string made;
    for (const velmora::XmlElement& element : root->children) {
      int pos[4] = {};
      const LONG id = std::wcstol(element.Attribute(L"id").c_str(), nullptr, 10);
      if (element.name != L"Control" || id <= 0 || id > 0xFFFF || !ReadNumbers(element.Attribute(L"pos"), pos, 4)) continue;
      const bool content = element.Attribute(L"kind") == L"content";
      HWND child = ::CreateWindowExW(0, content ? L"STATIC" : L"BUTTON", element.Attribute(L"text").c_str(),
                                     WS_CHILD | WS_VISIBLE | (content ? SS_LEFT : BS_PUSHBUTTON), Scaled(pos[0]),
                                     Scaled(pos[1]), Scaled(pos[2]), Scaled(pos[3]), window,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
      if (!child) continue;
      g_layout.controls.push_back(new Control(id, content, child));
      made += (made.empty() ? "" : ",") + std::to_string(id);
    }
    standin::Log("skin", "layout loaded %s controls=%s", standin::Narrow(layout_file).c_str(), made.c_str());
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE FindControl(HWND window, LONG id, IUnknown** control) override {
    if (!control) return E_POINTER;
    *control = nullptr;
    Control* found = window == g_layout.dialog ? FindLayoutControl(id) : nullptr;
    if (!found) return E_FAIL;
    found->AddRef();
    *control = static_cast<IConnectionPointContainer*>(found);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE SetRenderMode(LONG mode) override {
    standin::Log("skin", "render-mode %ld", static_cast<long>(mode));
    return S_OK;
  }
};

class Factory final : public standin::RefCounted<IClassFactory> {
 public:
  Factory() : RefCounted(IID_IClassFactory) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Site* site = new Site();
    const HRESULT result = site->QueryInterface(iid, object);
    site->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (clsid != velmora::kSkinSiteClass) return CLASS_E_CLASSNOTAVAILABLE;
  Factory* factory = new Factory();
  const HRESULT result = factory->QueryInterface(iid, object);
  factory->Release();
  return result;
}

__declspec(dllexport) int WINAPI scale(int pixels) { return Scaled(pixels); }

__declspec(dllexport) void WINAPI set_dpi_flag(int flag) { standin::Log("skin", "dpi-flag %d", flag); }

}  // extern "C"
