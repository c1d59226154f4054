// Stand-in HostKit.dll: the two service objects the program starts and stops, and the lazily
// bound function table (object factory, version, launch as the desktop user, open a link).
#include <windows.h>
#include <shellapi.h>

#include "platform/suite_interfaces.h"
#include "standins/common/redirection_probe.h"
#include "standins/common/standin_log.h"

namespace {

using velmora::IHostKitService;

class Service final : public standin::RefCounted<IHostKitService> {
 public:
  explicit Service(const GUID& iid) : RefCounted(iid) {}
  HRESULT STDMETHODCALLTYPE Start() override {
    standin::Log("hostkit", "start %s", standin::GuidText(iid_).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    standin::Log("hostkit", "stop %s", standin::GuidText(iid_).c_str());
    return S_OK;
  }
  ~Service() override { standin::Log("hostkit", "release %s", standin::GuidText(iid_).c_str()); }
};

// The settings a test or the demo sets live under this key, one DWORD per setting id in hex
// ("20002"); a missing value reads 0, and a string value makes the query fail. Only the message
// center's group (21) with no flags is answered, as the suite answers it.
constexpr wchar_t kSettingsKey[] = L"Software\\VelmoraStandins\\MessageCenter";
constexpr DWORD kMessageCenterGroup = 21;

class MessageCenterSettings final : public standin::RefCounted<velmora::IMsgCenterSettings2> {
 public:
  MessageCenterSettings() : RefCounted(velmora::kMsgCenterSettingsObject) {}
  HRESULT STDMETHODCALLTYPE QuerySetting(DWORD scope, const velmora::MsgCenterSettingKey* key, DWORD* value) override {
    if (scope != 1 || !key || !value || key->group != kMessageCenterGroup || key->flags != 0) {
      standin::Log("hostkit", "query-setting refused");
      return E_INVALIDARG;
    }
    wchar_t name[16];
    _snwprintf(name, 16, L"%lx", static_cast<unsigned long>(key->id));
    name[15] = L'\0';
    // Read into a buffer that also holds a short string, to tell a DWORD from a failure marker.
    DWORD data[8] = {}, type = REG_NONE, size = sizeof(data);
    HKEY settings = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &settings) == ERROR_SUCCESS) {
      if (::RegQueryValueExW(settings, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS) {
        type = REG_NONE;
      }
      ::RegCloseKey(settings);
    }
    if (type == REG_SZ) {
      standin::Log("hostkit", "query-setting %lx failed", static_cast<unsigned long>(key->id));
      return E_FAIL;
    }
    const DWORD stored = type == REG_DWORD ? data[0] : 0;
    standin::Log("hostkit", "query-setting %lu:%lx = %lu", static_cast<unsigned long>(key->group),
                 static_cast<unsigned long>(key->id), static_cast<unsigned long>(stored));
    *value = stored;
    return S_OK;
  }
};

// A test holds a start here while the file named by VELMORA_HOSTKIT_HOLD exists (at most ten
// minutes): the side bar's last relaunch goes through HkShellExecute, just before the process it
// starts takes the one-instance mutex.
void WaitWhileHeld() {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_HOSTKIT_HOLD", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  for (int tick = 0; tick < 6000 && ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; ++tick) ::Sleep(100);
}

}  // namespace

extern "C" {

__declspec(dllexport) HRESULT WINAPI CreateObject(const GUID* iid, void** object) {
  if (!iid || !object) return E_POINTER;
  *object = nullptr;
  if (*iid != velmora::kHostKitServiceA && *iid != velmora::kHostKitServiceB) return E_NOINTERFACE;
  standin::Log("hostkit", "create %s", standin::GuidText(*iid).c_str());
  *object = static_cast<IHostKitService*>(new Service(*iid));
  return S_OK;
}

// Entry 0: the object factory; the message-center settings are its one object.
__declspec(dllexport) HRESULT WINAPI HkCreateInstance(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  standin::Log("hostkit", "create-instance %s", standin::GuidText(clsid).c_str());
  if (clsid != velmora::kMsgCenterSettingsObject) return REGDB_E_CLASSNOTREG;
  auto* settings = new MessageCenterSettings();
  const HRESULT result = settings->QueryInterface(iid, object);
  settings->Release();
  return result;
}

// Entry 1.
__declspec(dllexport) DWORD WINAPI HkGetVersion() { return 1; }

// Entry 3: the real suite starts the file in the desktop user's session; here, in ours. A caller
// whose thread has file-system redirection off is recorded as such: the shell would then load its
// libraries from the 64-bit folder. With VELMORA_HOSTKIT_RECORD_ONLY set, nothing is started.
__declspec(dllexport) INT_PTR WINAPI HkShellExecute(HWND window, const wchar_t* verb, const wchar_t* file,
                                                    const wchar_t* parameters, const wchar_t* directory, int show) {
  standin::Log("hostkit", "shell-execute verb=%s file=%s params=%s show=%d%s", standin::Narrow(verb).c_str(),
               standin::Narrow(file).c_str(), standin::Narrow(parameters).c_str(), show,
               standin::RedirectionIsOff() ? " redirection=off" : "");
  WaitWhileHeld();
  if (::GetEnvironmentVariableW(L"VELMORA_HOSTKIT_RECORD_ONLY", nullptr, 0) != 0) return 42;
  return reinterpret_cast<INT_PTR>(::ShellExecuteW(window, verb, file, parameters, directory, show));
}

// Entry 5: records the link; the stand-in opens no browser.
__declspec(dllexport) BOOL WINAPI HkOpenUrl(const wchar_t* url) {
  standin::Log("hostkit", "open-url %s", standin::Narrow(url).c_str());
  return TRUE;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
