#include "platform/registry_watch.h"

#include <cstring>
#include <utility>

namespace velmora {
namespace {

// Not tied to the thread that asked (Windows 8 and later). Where it is refused the notice is
// asked without it; it then ends with that thread, which signals the event, and the next read
// asks again.
constexpr DWORD kThreadAgnostic = 0x10000000;  // REG_NOTIFY_THREAD_AGNOSTIC
constexpr DWORD kChanges = REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET;

// The value, or nullopt with the reason in `*status`.
std::optional<RegistryValue> ReadValue(HKEY key, const std::wstring& name, LONG* status) {
  RegistryValue value;
  DWORD size = 0;
  *status = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, nullptr, &size);
  // A value that grows between the two calls is asked for again.
  for (int tries = 0; tries < 4 && *status == ERROR_SUCCESS; ++tries) {
    value.bytes.resize(size);
    *status = ::RegQueryValueExW(key, name.c_str(), nullptr, &value.type, value.bytes.data(), &size);
    if (*status == ERROR_SUCCESS) {
      value.bytes.resize(size);
      return value;
    }
    if (*status == ERROR_MORE_DATA) *status = ERROR_SUCCESS;
  }
  return std::nullopt;
}

}  // namespace

CWatchedKey::CWatchedKey(HKEY root, std::wstring subkey) : root_(root), subkey_(std::move(subkey)) {
  changed_ = ::CreateEventW(nullptr, /*manual_reset=*/FALSE, FALSE, nullptr);
  if (changed_ && !::RegisterWaitForSingleObject(&wait_, changed_, &OnChange, this, INFINITE, WT_EXECUTEDEFAULT)) {
    wait_ = nullptr;
  }
}

CWatchedKey::~CWatchedKey() {
  if (wait_) ::UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);  // waits for a running callback
  if (key_) ::RegCloseKey(key_);
  if (changed_) ::CloseHandle(changed_);
}

void CALLBACK CWatchedKey::OnChange(void* context, BOOLEAN) {
  auto* self = static_cast<CWatchedKey*>(context);
  self->armed_.store(false);  // a notice is given once
  self->stale_.store(true);
}

void CWatchedKey::Watch() {
  if (!key_ && ::RegOpenKeyExW(root_, subkey_.c_str(), 0, KEY_QUERY_VALUE | KEY_NOTIFY, &key_) != ERROR_SUCCESS) {
    key_ = nullptr;
    return;
  }
  // One notice at a time: a copy forgotten by its writer is read again without asking anew.
  if (!wait_ || armed_.load()) return;
  LONG result = ::RegNotifyChangeKeyValue(key_, FALSE, kChanges | kThreadAgnostic, changed_, TRUE);
  if (result == ERROR_INVALID_PARAMETER) result = ::RegNotifyChangeKeyValue(key_, FALSE, kChanges, changed_, TRUE);
  armed_.store(result == ERROR_SUCCESS);
}

std::optional<RegistryValue> CWatchedKey::Value(const std::wstring& name) {
  std::lock_guard<std::mutex> hold(lock_);
  if (stale_.exchange(false) || !armed_.load()) {
    values_.clear();
    Watch();
  }
  if (const auto kept = values_.find(name); kept != values_.end()) return kept->second;
  LONG status = ERROR_FILE_NOT_FOUND;
  std::optional<RegistryValue> value = key_ ? ReadValue(key_, name, &status) : std::nullopt;
  if (status == ERROR_KEY_DELETED) {
    // Deleted since it was opened: the key may have been made anew under its name.
    ::RegCloseKey(key_);  // which ends its notice
    key_ = nullptr;
    armed_.store(false);
    values_.clear();
    Watch();
    value = key_ ? ReadValue(key_, name, &status) : std::nullopt;
  }
  if (armed_.load()) values_.emplace(name, value);
  return value;
}

std::optional<DWORD> CWatchedKey::Dword(const std::wstring& name) {
  const std::optional<RegistryValue> value = Value(name);
  if (!value || value->type != REG_DWORD || value->bytes.size() != sizeof(DWORD)) return std::nullopt;
  DWORD number = 0;
  memcpy(&number, value->bytes.data(), sizeof(number));
  return number;
}

}  // namespace velmora
