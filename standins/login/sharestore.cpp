// Stand-in ShareStore.dll: the store "safe" reads the stand-in account state; key "safe.<name>"
// is field <name>. Like a plain wcsncpy, a text that does not fit the caller's buffer is cut
// without a terminator.
#include <windows.h>

#include <cwchar>
#include <string>

#include "account/login_interfaces.h"
#include "standins/common/standin_log.h"
#include "standins/login/account_state.h"

namespace {

class Store final : public velmora::IShareData {
 public:
  BOOL Open(const wchar_t* name, DWORD flags) override {
    standin::Log("sharestore", "open %s %lu", standin::Narrow(name).c_str(), static_cast<unsigned long>(flags));
    opened_ = name && std::wcscmp(name, L"safe") == 0;
    return opened_;
  }
  BOOL GetText(const wchar_t* key, wchar_t* buffer, DWORD chars) override {
    std::wstring value;
    if (!Lookup(key, &value) || !buffer || chars == 0) return FALSE;
    std::wcsncpy(buffer, value.c_str(), chars);
    return TRUE;
  }
  BOOL GetNumber(const wchar_t* key, DWORD* value) override {
    std::wstring text;
    if (!Lookup(key, &text) || !value || text.empty()) return FALSE;
    *value = static_cast<DWORD>(std::wcstoul(text.c_str(), nullptr, 10));
    return TRUE;
  }
  void Release() override { delete this; }

 private:
  bool Lookup(const wchar_t* key, std::wstring* value) const {
    constexpr std::wstring_view kPrefix = L"safe.";
    if (!opened_ || !key || std::wstring_view(key).substr(0, kPrefix.size()) != kPrefix) return false;
    auto fields = standin::ReadAccountState();
    const auto found = fields.find(key + kPrefix.size());
    if (found == fields.end()) return false;
    *value = found->second;
    return true;
  }

  bool opened_ = false;
};

}  // namespace

extern "C" __declspec(dllexport) velmora::IShareData* WINAPI CreateShareData(DWORD reserved, DWORD flags) {
  standin::Log("sharestore", "create %lu %lu", static_cast<unsigned long>(reserved), static_cast<unsigned long>(flags));
  return new Store();
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
