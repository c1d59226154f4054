#include "providers/machine_ids.h"

#include "platform/suite_interfaces.h"

namespace velmora {
namespace {

std::wstring ReadFromBaseCore(const GUID& iid) {
  return ReadMachineIdText(GetCoreFunction<BaseCoreCreateInstanceFn>(CoreLibrary::kBaseCore, kBaseCoreCreateInstance),
                           iid);
}

// Process-wide: made on first use, never destroyed (a late reader at exit still finds it).
CMachineIdCache& Cache(int which) {
  static CMachineIdCache* const caches = new CMachineIdCache[2];
  return caches[which];
}

}  // namespace

std::wstring ReadMachineIdText(BaseCoreCreateInstanceFn factory, const GUID& iid) {
  if (!factory) return {};
  IMachineId* object = nullptr;
  if (FAILED(factory(iid, reinterpret_cast<void**>(&object))) || !object) return {};
  wchar_t text[MAX_PATH] = {};
  const HRESULT result = object->QueryText(text, MAX_PATH);
  object->Release();
  if (FAILED(result)) return {};
  text[MAX_PATH - 1] = L'\0';  // a text the object did not terminate is cut, not overrun
  return text;
}

std::wstring MachineId() {
  return Cache(0).Get([] { return ReadFromBaseCore(kMachineIdObject); });
}

std::wstring SecondMachineId() {
  return Cache(1).Get([] { return ReadFromBaseCore(kSecondMachineIdObject); });
}

}  // namespace velmora
