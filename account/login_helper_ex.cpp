#include "account/login_helper_ex.h"

#include "account/login_callback.h"
#include "platform/system_functions.h"
#include "platform/trust.h"

namespace velmora {
namespace {

constexpr DWORD kClientStartMode = 3;
constexpr DWORD kLoginDialogMode = 4;

}  // namespace

CLoginHelperEx::~CLoginHelperEx() { TearDown(); }

void CLoginHelperEx::SetUp(ILoginCallBack* sink, const std::wstring& suite_folder) {
  {
    std::lock_guard<std::mutex> hold(lock_);
    sink_ = sink;
  }
  if (suite_folder.empty()) return;
  MakeManager(suite_folder);
  MakeClient(suite_folder);
  MakeManager(suite_folder);
}

void CLoginHelperEx::MakeManager(const std::wstring& suite_folder) {
  if (manager_) return;
  ScopedLibrary library(LoadTrustedLibrary(suite_folder + L"\\Utils\\SignOnMgr.dll"));
  const auto create = GetProcAddressAs<CreateVuqLoginMgrFn>(library.get(), "CreateVuqLoginMgr");
  if (!create) return;
  IVuqLoginMgr* manager = create(0, 0);
  if (!manager) return;
  if (!manager->Initialize(kLoginProductKey)) {
    manager->Release(kLoginProductKey);
    return;
  }
  manager_library_ = std::move(library);
  manager_ = manager;
}

void CLoginHelperEx::MakeClient(const std::wstring& suite_folder) {
  if (client_) return;
  ScopedLibrary library(LoadTrustedLibrary(suite_folder + L"\\Utils\\AcctClient.dll"));
  const auto create = GetProcAddressAs<CreateExpClientFn>(library.get(), "CreateExpClient");
  if (!create) return;
  IVuqExpClient* client = create(kLoginProductKey, 0);
  if (!client) return;
  if (!client->Start(kClientStartMode)) {
    client->Release();
    return;
  }
  client->RegisterListener(this);
  client_library_ = std::move(library);
  client_ = client;
}

void CLoginHelperEx::DetachSink() {
  std::lock_guard<std::mutex> hold(lock_);
  sink_ = nullptr;
}

void CLoginHelperEx::TearDown() {
  DetachSink();
  if (client_) {
    client_->Release();
    client_ = nullptr;
  }
  if (manager_) {
    manager_->Release(kLoginProductKey);
    manager_ = nullptr;
  }
  client_library_.reset();
  manager_library_.reset();
}

bool CLoginHelperEx::ShowLoginDialog(HWND owner) {
  if (!manager_) return false;
  manager_->ShowLoginDialog(kLoginProductKey, owner, kLoginDialogMode, 0);
  return true;
}

void CLoginHelperEx::OnLogin(const wchar_t* product, const wchar_t* account, int status, void* /*reserved*/) {
  try {
    std::lock_guard<std::mutex> hold(lock_);
    if (sink_) sink_->OnSignedIn(product, account, status);
  } catch (...) {
    // Nothing may reach the login stack's thread; the page hears of the next change.
  }
}

void CLoginHelperEx::OnLogout(const wchar_t* /*product*/, const wchar_t* /*account*/, int /*reason*/) {
  try {
    std::lock_guard<std::mutex> hold(lock_);
    if (sink_) sink_->OnSignedOut();
  } catch (...) {
  }
}

void CLoginHelperEx::OnAccountChanged(const wchar_t*, const wchar_t*) {}
void CLoginHelperEx::OnTokenRefreshed(const wchar_t*, const wchar_t*) {}
void CLoginHelperEx::OnProfileChanged(const wchar_t*, const wchar_t*) {}
void CLoginHelperEx::OnServiceStateChanged(const wchar_t*, int) {}
void CLoginHelperEx::OnMessage(const wchar_t*, const wchar_t*) {}

}  // namespace velmora
