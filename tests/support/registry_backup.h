// Puts a registry key back as a test found it: every value and subkey, or no key at all.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::test {

class ScopedRegistryBackup {
 public:
  ScopedRegistryBackup(HKEY root, std::wstring subkey, REGSAM view = 0);
  ~ScopedRegistryBackup();
  ScopedRegistryBackup(const ScopedRegistryBackup&) = delete;
  ScopedRegistryBackup& operator=(const ScopedRegistryBackup&) = delete;

  struct Value {
    std::wstring name;
    DWORD type;
    std::vector<BYTE> data;
  };
  struct Key {
    std::wstring name;
    std::vector<Value> values;
    std::vector<Key> subkeys;
  };

 private:
  HKEY root_;
  std::wstring subkey_;
  REGSAM view_;
  std::unique_ptr<Key> saved_;  // null: the key did not exist
};

}  // namespace velmora::test
