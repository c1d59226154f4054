#include "tests/support/registry_backup.h"

namespace velmora::test {
namespace {

using Key = ScopedRegistryBackup::Key;

bool Save(HKEY parent, const std::wstring& name, REGSAM view, Key* out) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  out->name = name;
  for (DWORD i = 0;; ++i) {
    wchar_t value_name[16384];
    DWORD name_chars = 16384, type = 0, size = 0;
    if (::RegEnumValueW(key, i, value_name, &name_chars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
    ScopedRegistryBackup::Value value{std::wstring(value_name, name_chars), type, std::vector<BYTE>(size)};
    name_chars = 16384;
    ::RegEnumValueW(key, i, value_name, &name_chars, nullptr, &type, value.data.data(), &size);
    value.data.resize(size);
    out->values.push_back(std::move(value));
  }
  for (DWORD i = 0;; ++i) {
    wchar_t child[256];
    DWORD chars = 256;
    if (::RegEnumKeyExW(key, i, child, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Key saved;
    if (Save(key, std::wstring(child, chars), view, &saved)) out->subkeys.push_back(std::move(saved));
  }
  ::RegCloseKey(key);
  return true;
}

void Restore(HKEY parent, const Key& saved, REGSAM view) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(parent, saved.name.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  for (const auto& value : saved.values) {
    ::RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
  }
  for (const Key& child : saved.subkeys) Restore(key, child, view);
  ::RegCloseKey(key);
}

}  // namespace

ScopedRegistryBackup::ScopedRegistryBackup(HKEY root, std::wstring subkey, REGSAM view)
    : root_(root), subkey_(std::move(subkey)), view_(view) {
  auto saved = std::make_unique<Key>();
  if (Save(root_, subkey_, view_, saved.get())) saved_ = std::move(saved);
}

ScopedRegistryBackup::~ScopedRegistryBackup() {
  ::RegDeleteTreeW(root_, subkey_.c_str());
  ::RegDeleteKeyExW(root_, subkey_.c_str(), view_, 0);
  if (saved_) Restore(root_, *saved_, view_);
}

}  // namespace velmora::test
