// Receives one skin control's events (the engine's event dispatch interface) and hands its clicks
// to the owner. A COM object of ours: reference counted, deleted at zero; Unadvise before the
// owner goes. Main thread only.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <functional>

#include "platform/com_ref.h"

namespace velmora {

class CSkinEventSink final : public IDispatch {
 public:
  // A sink for control `control_id`; `on_click` is called with that id for each click.
  static ComRef<CSkinEventSink> Create(LONG control_id, std::function<void(LONG)> on_click);

  // Subscribes to `control`'s events through its connection point; false when the control has
  // none or refuses. A second call while subscribed answers false.
  bool Advise(IUnknown* control);
  // Ends the subscription; does nothing when there is none.
  void Unadvise();

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // IDispatch: no type information; Invoke takes the click and refuses every other member.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;

 private:
  CSkinEventSink(LONG control_id, std::function<void(LONG)> on_click);
  ~CSkinEventSink();

  LONG refs_ = 1;
  LONG control_id_;
  std::function<void(LONG)> on_click_;
  ComRef<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

}  // namespace velmora
