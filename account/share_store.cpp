#include "account/share_store.h"

#include <vector>

#include "platform/suite_folder.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "platform/trust.h"

namespace velmora {
namespace {

std::wstring KeyOf(const wchar_t* name) { return FormatW(L"%ls.%ls", kLoginProductKey, name ? name : L""); }

}  // namespace

CShareStore& CShareStore::Instance() {
  static CShareStore* const instance = [] {
    auto* store = new CShareStore();
    store->Open(GetSuiteFolder());
    return store;
  }();
  return *instance;
}

CShareStore::~CShareStore() {
  if (store_) store_->Release();
}

bool CShareStore::Open(const std::wstring& suite_folder) {
  std::lock_guard<std::mutex> hold(lock_);
  if (store_ || suite_folder.empty()) return store_ != nullptr;
  ScopedLibrary library(LoadTrustedLibrary(suite_folder + L"\\utils\\ShareStore.dll"));
  const auto create = GetProcAddressAs<CreateShareDataFn>(library.get(), "CreateShareData");
  if (!create) return false;
  IShareData* store = create(0, 0);
  if (!store) return false;
  if (!store->Open(kLoginProductKey, 0)) {
    store->Release();
    return false;
  }
  library_ = std::move(library);
  store_ = store;
  return true;
}

std::wstring CShareStore::ReadText(const wchar_t* name) const {
  std::lock_guard<std::mutex> hold(lock_);
  if (!store_) return {};
  // One more than the store may fill: its copy is terminated only when the value fits.
  std::vector<wchar_t> buffer(kAccountTextChars + 1, L'\0');
  if (!store_->GetText(KeyOf(name).c_str(), buffer.data(), kAccountTextChars)) return {};
  buffer[kAccountTextChars] = L'\0';
  return std::wstring(buffer.data());
}

DWORD CShareStore::ReadNumber(const wchar_t* name) const {
  std::lock_guard<std::mutex> hold(lock_);
  DWORD value = 0;
  if (!store_ || !store_->GetNumber(KeyOf(name).c_str(), &value)) return 0;
  return value;
}

}  // namespace velmora
