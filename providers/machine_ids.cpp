#include "providers/machine_ids.h"

#include <mutex>

#include "platform/core_libraries.h"
#include "platform/suite_interfaces.h"

namespace velmora {
namespace {

// One query of the object for `iid`: at most 259 characters; empty on any failure.
std::wstring QueryMachineId(const GUID& iid) {
  const auto create = GetCoreFunction<BaseCoreCreateInstanceFn>(CoreLibrary::kBaseCore, kBaseCoreCreateInstance);
  if (!create) return {};
  IMachineId* object = nullptr;
  if (FAILED(create(iid, reinterpret_cast<void**>(&object))) || !object) return {};
  wchar_t text[MAX_PATH] = {};
  const HRESULT result = object->QueryText(text, MAX_PATH);
  object->Release();
  text[MAX_PATH - 1] = 0;
  return SUCCEEDED(result) ? std::wstring(text) : std::wstring();
}

struct CachedId {
  std::mutex lock;
  std::wstring text;

  std::wstring Get(const GUID& iid) {
    std::lock_guard<std::mutex> hold(lock);
    if (text.empty()) text = QueryMachineId(iid);
    return text;
  }
};

CachedId g_mid, g_m2;

}  // namespace

std::wstring MachineId() { return g_mid.Get(kMachineIdObject); }

std::wstring SecondMachineId() { return g_m2.Get(kSecondMachineIdObject); }

}  // namespace velmora
