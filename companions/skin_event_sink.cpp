#include "companions/skin_event_sink.h"

#include <new>
#include <utility>

#include "companions/skin_interfaces.h"

namespace velmora {

ComRef<CSkinEventSink> CSkinEventSink::Create(LONG control_id, std::function<void(LONG)> on_click) {
  return ComRef<CSkinEventSink>(new (std::nothrow) CSkinEventSink(control_id, std::move(on_click)));
}

CSkinEventSink::CSkinEventSink(LONG control_id, std::function<void(LONG)> on_click)
    : control_id_(control_id), on_click_(std::move(on_click)) {}

CSkinEventSink::~CSkinEventSink() { Unadvise(); }

bool CSkinEventSink::Advise(IUnknown* control) {
  if (!control || point_) return false;
  ComRef<IConnectionPointContainer> container;
  if (FAILED(control->QueryInterface(IID_IConnectionPointContainer, container.receive_void())) || !container) {
    return false;
  }
  ComRef<IConnectionPoint> point;
  if (FAILED(container->FindConnectionPoint(kSiteEventsId, point.receive())) || !point) return false;
  DWORD cookie = 0;
  if (FAILED(point->Advise(static_cast<IDispatch*>(this), &cookie))) return false;
  point_ = std::move(point);
  cookie_ = cookie;
  return true;
}

void CSkinEventSink::Unadvise() {
  if (!point_) return;
  // The point may call our Release from here: keep it in a local until the call is over.
  ComRef<IConnectionPoint> point = std::move(point_);
  point->Unadvise(std::exchange(cookie_, 0));
}

HRESULT CSkinEventSink::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kSiteEventsId) {
    *object = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG CSkinEventSink::AddRef() { return static_cast<ULONG>(++refs_); }

ULONG CSkinEventSink::Release() {
  const LONG left = --refs_;
  if (left == 0) delete this;
  return static_cast<ULONG>(left);
}

HRESULT CSkinEventSink::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT CSkinEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT CSkinEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

HRESULT CSkinEventSink::Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*, UINT*) {
  if (result) ::VariantInit(result);
  if (member != kSiteClickDispId) return DISP_E_MEMBERNOTFOUND;
  // The owner may unsubscribe and drop us while handling the click.
  AddRef();
  try {
    if (on_click_) on_click_(control_id_);
  } catch (...) {
    // Called by another component: nothing may escape.
  }
  Release();
  return S_OK;
}

}  // namespace velmora
