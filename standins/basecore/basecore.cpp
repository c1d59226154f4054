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

// The machine's own GUID, stable for the life of the installation.
std::wstring MachineGuid() {
  wchar_t value[64] = {};
  DWORD size = sizeof(value) - sizeof(wchar_t);
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Cryptography", 0,
                      KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return {};
  }
  DWORD type = REG_NONE;
  const LONG status = ::RegQueryValueExW(key, L"MachineGuid", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : std::wstring();
}

class MachineId final : public standin::RefCounted<IMachineId> {
 public:
  explicit MachineId(const GUID& iid) : RefCounted(iid) {}
  HRESULT STDMETHODCALLTYPE QueryText(wchar_t* buffer, DWORD chars) override {
    std::wstring text = MachineGuid();
    if (text.empty()) return E_FAIL;
    // The second identifier is a different, equally stable text.
    if (iid_ == kSecondMachineIdObject) text = L"M2-" + std::wstring(text.rbegin(), text.rend());
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
