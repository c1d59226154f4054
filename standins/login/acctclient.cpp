// Stand-in AcctClient.dll: account clients and their listeners, and the controls a test or demo
// signs a user in and out with:
//   StandinSignIn(fields, account, status)  writes the account state (fields: "name=value" lines),
//       keeps the signed-in event open and tells every registered listener OnLogin(account, status);
//   StandinSignOut()  closes the event, empties the state and tells every listener OnLogout.
// Listeners are told on the caller's thread, under the lock that Release takes: once a client is
// released, its listener is never called again.
#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "account/login_interfaces.h"
#include "standins/common/standin_log.h"
#include "standins/login/account_state.h"

namespace {

using velmora::safeid::IVuqExpClientListener;

struct Registry {
  CRITICAL_SECTION lock;
  std::vector<std::pair<void*, IVuqExpClientListener*>> listeners;  // (client, listener)
  HANDLE signed_in_event = nullptr;
  Registry() { ::InitializeCriticalSection(&lock); }
};

Registry& Shared() {
  static Registry* const registry = new Registry();
  return *registry;
}

class Lock {
 public:
  Lock() { ::EnterCriticalSection(&Shared().lock); }
  ~Lock() { ::LeaveCriticalSection(&Shared().lock); }
};

class Client final : public velmora::IVuqExpClient {
 public:
  BOOL Start(DWORD mode) override {
    standin::Log("acctclient", "start %lu", static_cast<unsigned long>(mode));
    return mode == 3;
  }
  BOOL RegisterListener(IVuqExpClientListener* listener) override {
    standin::Log("acctclient", "listener %d", listener != nullptr);
    if (!listener) return FALSE;
    Lock hold;
    Shared().listeners.emplace_back(this, listener);
    return TRUE;
  }
  void Release() override {
    {
      Lock hold;
      auto& all = Shared().listeners;
      all.erase(std::remove_if(all.begin(), all.end(), [this](const auto& entry) { return entry.first == this; }),
                all.end());
    }
    standin::Log("acctclient", "release");
    delete this;
  }
};

}  // namespace

extern "C" {

__declspec(dllexport) velmora::IVuqExpClient* WINAPI CreateExpClient(const wchar_t* product, DWORD flags) {
  standin::Log("acctclient", "create %s %lu", standin::Narrow(product).c_str(), static_cast<unsigned long>(flags));
  return new Client();
}

__declspec(dllexport) void WINAPI StandinSignIn(const wchar_t* fields, const wchar_t* account, int status) {
  Lock hold;
  standin::WriteAccountState(fields ? fields : L"");
  if (!Shared().signed_in_event) {
    const std::wstring name = std::wstring(velmora::kSignedInEventPrefix) + velmora::kLoginProductKey;
    Shared().signed_in_event = ::CreateEventW(nullptr, FALSE, FALSE, name.c_str());
  }
  standin::Log("acctclient", "sign in %s %d", standin::Narrow(account).c_str(), status);
  for (const auto& entry : Shared().listeners) entry.second->OnLogin(L"safe", account, status, nullptr);
}

__declspec(dllexport) void WINAPI StandinSignOut() {
  Lock hold;
  if (Shared().signed_in_event) ::CloseHandle(Shared().signed_in_event);
  Shared().signed_in_event = nullptr;
  standin::WriteAccountState(L"");
  standin::Log("acctclient", "sign out");
  for (const auto& entry : Shared().listeners) entry.second->OnLogout(L"safe", L"", 0);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
