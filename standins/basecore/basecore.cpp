// Stand-in BaseCore.dll: the suite's file-trust service and its machine-identifier objects.
// The service classes a file by its Authenticode signature and signer, as the suite does:
// 1 for a file signed by the suite's signer, 3 (refused) for anything else; no answer for a
// file it cannot read.
#include <windows.h>

#include <cwchar>
#include <string>

#include "platform/module_signature.h"
#include "platform/suite_interfaces.h"
#include "standins/common/standin_log.h"

namespace {

constexpr int kTrusted = 1;
constexpr int kRefused = 3;

using velmora::IMachineId;
using velmora::kMachineIdObject;
using velmora::kSecondMachineIdObject;

// The identifiers the objects answer: fixed test texts, or what the environment variables
// VELMORA_STANDIN_MID and VELMORA_STANDIN_M2 say when they are set (set and empty: the query
// fails, as on a machine whose identifier is not ready yet). Read at every query, so a test can
// change them while the program runs.
constexpr wchar_t kFixedMachineId[] = L"VELMORA-TEST-MID-0001";
constexpr wchar_t kFixedSecondMachineId[] = L"VELMORA-TEST-M2-0001";

std::wstring IdentifierText(bool second) {
  wchar_t value[1024];
  ::SetLastError(ERROR_SUCCESS);
  const DWORD length = ::GetEnvironmentVariableW(second ? L"VELMORA_STANDIN_M2" : L"VELMORA_STANDIN_MID", value,
                                                 static_cast<DWORD>(sizeof(value) / sizeof(value[0])));
  if (length == 0 && ::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return second ? kFixedSecondMachineId : kFixedMachineId;
  if (length >= sizeof(value) / sizeof(value[0])) return {};
  return std::wstring(value, length);
}

class MachineId final : public standin::RefCounted<IMachineId> {
 public:
  explicit MachineId(const GUID& iid) : RefCounted(iid) {}
  HRESULT STDMETHODCALLTYPE QueryText(wchar_t* buffer, DWORD chars) override {
    const std::wstring text = IdentifierText(iid_ == kSecondMachineIdObject);
    standin::Log("basecore", "machine-id %s", standin::Narrow(text.c_str()).c_str());
    if (text.empty()) return E_FAIL;
    if (!buffer || chars <= text.size()) return E_NOT_SUFFICIENT_BUFFER;
    std::wmemcpy(buffer, text.c_str(), text.size() + 1);
    return S_OK;
  }
};

}  // namespace

extern "C" {

__declspec(dllexport) BOOL WINAPI BcQueryFileTrust(const wchar_t* path, int* trust_class) {
  if (!path || !trust_class || ::GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) return FALSE;
  *trust_class = velmora::VerifyModuleSignature(path) ? kTrusted : kRefused;
  standin::Log("basecore", "trust %d %s", *trust_class, standin::Narrow(path).c_str());
  return TRUE;
}

__declspec(dllexport) HRESULT WINAPI BcCreateInstance(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (iid != kMachineIdObject && iid != kSecondMachineIdObject) return E_NOINTERFACE;
  *object = static_cast<IMachineId*>(new MachineId(iid));
  return S_OK;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
