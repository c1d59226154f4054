// Stand-in SignOn.dll: the login module and its login object. The module looks accounts up in
// the stand-in account state; the login object records what it is given and, when given its
// callback, asks it event 43 with argument 1 and logs the answer.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "account/login_interfaces.h"
#include "standins/common/standin_log.h"
#include "standins/login/account_state.h"

namespace {

using namespace velmora;

std::string VariantText(const VARIANT* value) {
  if (!value) return "(null)";
  char text[64];
  switch (value->vt) {
    case VT_BSTR:
      return "bstr:" + standin::Narrow(value->bstrVal) + ":" + std::to_string(::SysStringLen(value->bstrVal));
    case VT_I4:
      std::snprintf(text, sizeof(text), "i4:%ld", static_cast<long>(value->lVal));
      return text;
    case VT_UI4:
      std::snprintf(text, sizeof(text), "ui4:%lu", static_cast<unsigned long>(value->ulVal));
      return text;
    default:
      std::snprintf(text, sizeof(text), "vt%u", value->vt);
      return text;
  }
}

class AccountEx final : public standin::RefCounted<IVuqAccountEx> {
 public:
  explicit AccountEx(std::wstring cookies) : RefCounted(kVuqAccountExId), cookies_(std::move(cookies)) {}
  HRESULT STDMETHODCALLTYPE GetCookieText(BSTR* text) override {
    if (!text) return E_POINTER;
    *text = ::SysAllocString(cookies_.c_str());
    return S_OK;
  }

 private:
  std::wstring cookies_;
};

// {6D3C1B86-8E0D-4A4A-9A55-2E0F1D1B7A01}: the stand-in's own id for its account objects.
constexpr GUID kAccountId = {0x6D3C1B86, 0x8E0D, 0x4A4A, {0x9A, 0x55, 0x2E, 0x0F, 0x1D, 0x1B, 0x7A, 0x01}};

class Account final : public standin::RefCounted<IVuqAccount> {
 public:
  Account(DWORD kind, std::wstring cookies) : RefCounted(kAccountId), kind_(kind), cookies_(std::move(cookies)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object && iid == kVuqAccountExId) {
      *object = static_cast<IVuqAccountEx*>(new AccountEx(cookies_));
      return S_OK;
    }
    return RefCounted::QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE GetKind(DWORD* kind) override {
    if (!kind) return E_POINTER;
    *kind = kind_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCookieText(BSTR* text) override {
    if (!text) return E_POINTER;
    if (kind_ != 1) return E_NOTIMPL;  // other kinds answer through IVuqAccountEx only
    *text = ::SysAllocString(cookies_.c_str());
    return S_OK;
  }

 private:
  DWORD kind_;
  std::wstring cookies_;
};

class Login;

class Module final : public standin::RefCounted<IVuqLoginModule> {
 public:
  Module() : RefCounted(kUnknownModuleId) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  HRESULT STDMETHODCALLTYPE Initialize() override {
    standin::Log("signon", "module initialize");
    return ::GetEnvironmentVariableW(L"VELMORA_STANDIN_SIGNON_FAIL", nullptr, 0) ? E_FAIL : S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProperty(DWORD id, const VARIANT* value) override {
    standin::Log("signon", "module property %lu %s", static_cast<unsigned long>(id), VariantText(value).c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE LookupAccount(BSTR email, DWORD account_type, IVuqAccount** account) override {
    if (!account) return E_POINTER;
    *account = nullptr;
    auto fields = standin::ReadAccountState();
    standin::Log("signon", "lookup %s %lu", standin::Narrow(email).c_str(), static_cast<unsigned long>(account_type));
    if (!email || fields[L"real_email"] != email || _wtoi(fields[L"account_type"].c_str()) != static_cast<int>(account_type)) {
      return E_FAIL;
    }
    const int kind = fields.count(L"account_kind") ? _wtoi(fields[L"account_kind"].c_str()) : 1;
    *account = new Account(static_cast<DWORD>(kind), fields[L"cookie"]);
    return S_OK;
  }

 private:
  static constexpr GUID kUnknownModuleId = {0x6D3C1B86, 0x8E0D, 0x4A4A, {0x9A, 0x55, 0x2E, 0x0F, 0x1D, 0x1B, 0x7A, 0x02}};
};

class Login final : public standin::RefCounted<IVuqLogin> {
 public:
  Login() : RefCounted(kVuqLoginId) {}
  ~Login() override {
    if (module_) module_->Release();
    standin::Log("signon", "login released");
  }
  HRESULT STDMETHODCALLTYPE Initialize() override {
    standin::Log("signon", "login initialize");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AttachModule(IVuqLoginModule* module) override {
    standin::Log("signon", "login attach %d", module != nullptr);
    if (module) module->AddRef();
    if (module_) module_->Release();
    module_ = module;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCallback(IAccountCallbackW* callback, DWORD flags) override {
    standin::Log("signon", "login callback %d %lu", callback != nullptr, static_cast<unsigned long>(flags));
    if (callback) {
      const LRESULT answer = callback->OnAccountEvent(43, 1, nullptr);
      standin::Log("signon", "event 43 answered 0x%lx", static_cast<unsigned long>(answer));
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetCaller(BSTR name, BSTR key) override {
    standin::Log("signon", "login caller %s %s:%u", standin::Narrow(name).c_str(), standin::Narrow(key).c_str(),
                 key ? ::SysStringLen(key) : 0);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetProperty(DWORD id, const VARIANT* value) override {
    standin::Log("signon", "login property %lu %s", static_cast<unsigned long>(id), VariantText(value).c_str());
    return S_OK;
  }

 private:
  IVuqLoginModule* module_ = nullptr;
};

HRESULT STDMETHODCALLTYPE Module::QueryInterface(REFIID iid, void** object) {
  if (object && iid == kVuqLoginId) {
    *object = static_cast<IVuqLogin*>(new Login());
    return S_OK;
  }
  return RefCounted::QueryInterface(iid, object);
}

}  // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI LoginGetModuleW(IVuqLoginModule** module) {
  if (!module) return E_POINTER;
  *module = new Module();
  standin::Log("signon", "get module");
  return S_OK;
}

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
