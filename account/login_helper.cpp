#include "account/login_helper.h"

#include <oleauto.h>

#include "account/login_library.h"
#include "platform/suite_folder.h"
#include "platform/system_functions.h"

namespace velmora {
namespace {

constexpr wchar_t kClientKey[] = L"k4r2t9w1";
constexpr wchar_t kCallerName[] = L"Vuqsystem_repair";
constexpr wchar_t kCallerKey[] = L"p3xe7ks52";

constexpr DWORD kClientKeyProperty = 20;
constexpr DWORD kProperty10 = 10;
constexpr DWORD kProperty2 = 2;

constexpr UINT kFirstAccountEvent = 1, kLastAccountEvent = 3;
constexpr UINT kFirstTextEvent = 39, kLastTextEvent = 42;
constexpr UINT kCapabilityEvent = 43;
constexpr LRESULT kCapabilityAnswer = 0x1960001;

// A BSTR owned for one call; null when out of memory.
class ScopedBstr {
 public:
  explicit ScopedBstr(const wchar_t* text) : text_(::SysAllocString(text)) {}
  ~ScopedBstr() { ::SysFreeString(text_); }
  ScopedBstr(const ScopedBstr&) = delete;
  ScopedBstr& operator=(const ScopedBstr&) = delete;
  BSTR get() const { return text_; }

 private:
  BSTR text_;
};

template <typename T>
void ReleaseObject(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

std::wstring TextOrEmpty(const wchar_t* text) { return text ? std::wstring(text) : std::wstring(); }

// Takes a returned BSTR, frees it and gives back its text (empty for null).
std::wstring TakeBstr(BSTR text) {
  std::wstring result(text ? text : L"", text ? ::SysStringLen(text) : 0);
  ::SysFreeString(text);
  return result;
}

}  // namespace

CLoginHelper& CLoginHelper::Instance() {
  static CLoginHelper* const instance = new CLoginHelper();  // lives until the process ends
  instance->EnsureInitialized(GetSuiteFolder());
  return *instance;
}

CLoginHelper::CLoginHelper()
    : notification_event_(::CreateEventW(nullptr, /*bManualReset=*/FALSE, /*bInitialState=*/FALSE, nullptr)) {}

CLoginHelper::~CLoginHelper() {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  ReleaseLocked();
}

bool CLoginHelper::EnsureInitialized(const std::wstring& suite_folder) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (initialized_) return true;
  try {
    initialized_ = BindLocked(suite_folder);
  } catch (...) {
    initialized_ = false;  // out of memory: nothing bound, the next call tries again
  }
  if (!initialized_) ReleaseLocked();
  return initialized_;
}

bool CLoginHelper::IsInitialized() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return initialized_;
}

bool CLoginHelper::BindLocked(const std::wstring& suite_folder) {
  if (suite_folder.empty()) return false;
  library_.reset(LoadLoginLibrary(suite_folder + L"\\SignOn.dll"));
  const auto get_module = GetProcAddressAs<LoginGetModuleWFn>(library_.get(), "LoginGetModuleW");
  if (!get_module) return false;
  if (FAILED(get_module(&module_)) || !module_ || FAILED(module_->Initialize())) return false;

  VARIANT client_key;
  ::VariantInit(&client_key);
  client_key.vt = VT_BSTR;
  client_key.bstrVal = ::SysAllocString(kClientKey);
  if (!client_key.bstrVal) return false;
  module_->SetProperty(kClientKeyProperty, &client_key);
  ::VariantClear(&client_key);

  void* login = nullptr;
  if (SUCCEEDED(module_->QueryInterface(kVuqLoginId, &login)) && login) {
    login_ = static_cast<IVuqLogin*>(login);
    login_->Initialize();
    login_->AttachModule(module_);
    login_->SetCallback(this, /*flags=*/0);
    const ScopedBstr name(kCallerName), key(kCallerKey);
    login_->SetCaller(name.get(), key.get());
    // Properties 10 and 2 belong to the login object; the module only takes the client key.
    VARIANT number;
    ::VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 10;
    login_->SetProperty(kProperty10, &number);
    number.vt = VT_UI4;
    number.ulVal = 255;
    login_->SetProperty(kProperty2, &number);
  }
  return true;
}

void CLoginHelper::ReleaseLocked() {
  // The login object goes first: it holds the module and calls us back.
  ReleaseObject(login_);
  ReleaseObject(module_);
  library_.reset();
  initialized_ = false;
}

std::optional<std::wstring> CLoginHelper::LookupCookieText(const std::wstring& email, DWORD account_type) {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  if (!initialized_ || !module_) return std::nullopt;
  const ScopedBstr address(email.c_str());
  if (!address.get()) return std::nullopt;
  IVuqAccount* account = nullptr;
  if (FAILED(module_->LookupAccount(address.get(), account_type, &account)) || !account) return std::nullopt;
  std::optional<std::wstring> cookies;
  DWORD kind = 0;
  BSTR text = nullptr;
  if (SUCCEEDED(account->GetKind(&kind)) && kind == 1) {
    if (SUCCEEDED(account->GetCookieText(&text))) cookies = TakeBstr(text);
  } else {
    void* extension = nullptr;
    if (SUCCEEDED(account->QueryInterface(kVuqAccountExId, &extension)) && extension) {
      auto* account_ex = static_cast<IVuqAccountEx*>(extension);
      if (SUCCEEDED(account_ex->GetCookieText(&text))) cookies = TakeBstr(text);
      account_ex->Release();
    }
  }
  account->Release();
  return cookies;
}

LoginAccountTexts CLoginHelper::LastAccount() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return account_;
}

std::wstring CLoginHelper::LastNotificationText() const {
  std::lock_guard<std::recursive_mutex> hold(lock_);
  return notification_text_;
}

LRESULT STDMETHODCALLTYPE CLoginHelper::OnAccountEvent(UINT code, WPARAM argument, const wchar_t* text) {
  try {
    if (code >= kFirstAccountEvent && code <= kLastAccountEvent) {
      const auto* report = reinterpret_cast<const LoginAccountReport*>(argument);
      if (!report) return 0;
      LoginAccountTexts copy{TextOrEmpty(report->account), TextOrEmpty(report->qid), TextOrEmpty(report->nick_name),
                             TextOrEmpty(report->email), TextOrEmpty(report->head_image)};
      std::lock_guard<std::recursive_mutex> hold(lock_);
      account_ = std::move(copy);
      return 0;
    }
    if (code >= kFirstTextEvent && code <= kLastTextEvent) {
      std::wstring copy = TextOrEmpty(text);
      {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        notification_text_ = std::move(copy);
      }
      if (notification_event_) ::SetEvent(notification_event_.get());
      return 0;
    }
    if (code == kCapabilityEvent && argument == 1) return kCapabilityAnswer;
  } catch (...) {
    // Out of memory copying a text: the event is answered as unhandled.
  }
  return 0;
}

}  // namespace velmora
