// The promotion prompt's placement and the event sink of its skin's buttons.
#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <vector>

#include "companions/promotion_window.h"
#include "companions/skin_event_sink.h"
#include "companions/skin_interfaces.h"

namespace velmora {
namespace {

TEST(PromotionPlacement, BottomRightCornerOfTheWorkAreaFiveScaledPixelsIn) {
  struct Case {
    const char* what;
    RECT work_area;
    SIZE size;
    UINT dpi;
    POINT origin;
  };
  const Case cases[] = {
      {"task bar at the bottom", {0, 0, 1024, 728}, {320, 180}, 96, {699, 543}},
      {"task bar on the right", {0, 0, 984, 768}, {320, 180}, 96, {659, 583}},
      {"task bar at the top", {0, 40, 1024, 768}, {320, 180}, 96, {699, 583}},
      {"task bar on the left", {60, 0, 1024, 768}, {320, 180}, 96, {699, 583}},
      {"150 %, task bar at the bottom", {0, 0, 1920, 1040}, {480, 270}, 144, {1432, 762}},
      {"200 %, task bar on the right", {0, 0, 3760, 2160}, {640, 360}, 192, {3110, 1790}},
      {"125 % rounds the margin", {0, 0, 1280, 984}, {400, 225}, 120, {874, 753}},
      {"monitor left of the primary", {-1920, 0, 0, 1040}, {320, 180}, 96, {-325, 855}},
      {"no DPI known: unscaled", {0, 0, 800, 600}, {320, 180}, 0, {475, 415}},
  };
  for (const Case& c : cases) {
    const POINT origin = PromotionWindowOrigin(c.work_area, c.size, ScaleToDpi(kPromotionMarginPixels, c.dpi));
    EXPECT_EQ(c.origin.x, origin.x) << c.what;
    EXPECT_EQ(c.origin.y, origin.y) << c.what;
  }
}

// A control of the skin with one connection point, as the engine offers them.
class FakeControl final : public IConnectionPointContainer, public IConnectionPoint {
 public:
  explicit FakeControl(bool accepts) : accepts_(accepts) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IUnknown || iid == IID_IConnectionPointContainer) {
      *object = static_cast<IConnectionPointContainer*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
    *point = iid == kSiteEventsId ? static_cast<IConnectionPoint*>(this) : nullptr;
    return *point ? S_OK : CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    if (!accepts_) return CONNECT_E_CANNOTCONNECT;
    sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink_));
    *cookie = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    unadvised.push_back(cookie);
    if (sink_) sink_->Release();
    sink_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

  IUnknown* unknown() { return static_cast<IConnectionPointContainer*>(this); }
  HRESULT Fire(DISPID member) {
    DISPPARAMS none{};
    return sink_ ? sink_->Invoke(member, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr) : E_FAIL;
  }
  std::vector<DWORD> unadvised;

 private:
  bool accepts_;
  IDispatch* sink_ = nullptr;
};

TEST(SkinEventSink, PassesClicksOnlyAndUnsubscribesOnce) {
  std::vector<LONG> clicks;
  FakeControl control(/*accepts=*/true);
  {
    ComRef<CSkinEventSink> sink = CSkinEventSink::Create(1035, [&](LONG id) { clicks.push_back(id); });
    ASSERT_TRUE(sink->Advise(control.unknown()));
    EXPECT_FALSE(sink->Advise(control.unknown())) << "a second subscription";
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, control.Fire(2));
    EXPECT_EQ(S_OK, control.Fire(kSiteClickDispId));
    EXPECT_EQ(std::vector<LONG>{1035}, clicks);
    sink->Unadvise();
    sink->Unadvise();
  }
  EXPECT_EQ(std::vector<DWORD>{7}, control.unadvised);

  // A handler that throws does not take the caller with it; a refusing control is no subscription.
  FakeControl thrower(/*accepts=*/true);
  ComRef<CSkinEventSink> sink = CSkinEventSink::Create(1034, [](LONG) { throw 1; });
  ASSERT_TRUE(sink->Advise(thrower.unknown()));
  EXPECT_EQ(S_OK, thrower.Fire(kSiteClickDispId));
  FakeControl refusing(/*accepts=*/false);
  ComRef<CSkinEventSink> refused = CSkinEventSink::Create(1034, nullptr);
  EXPECT_FALSE(refused->Advise(refusing.unknown()));
  EXPECT_FALSE(refused->Advise(nullptr));
}

}  // namespace
}  // namespace velmora
