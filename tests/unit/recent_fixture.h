// Shared equipment of the commonly used items tests: a registry key and folders of the test's
// own, real files and shortcuts in them, GDI+ started, and APPDATA pointed at the test's folder
// before the data folder is first worked out.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"

namespace velmora::test {

class RecentFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A file of `bytes` at `path` (its folder made); the path.
  std::wstring File(const std::wstring& path, const std::string& bytes = "x");
  // A shortcut `folder\name` to `target`, with an icon location when given.
  std::wstring Link(const std::wstring& folder, const std::wstring& name, const std::wstring& target,
                    const std::wstring& icon = L"", int icon_index = 0);
  // A value under `subkey` of the test's root key.
  void Value(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data, size_t size);
  // A UserAssist record (72 bytes, FILETIME at 60, or at 8 for the old layout) named `name`.
  void UserAssist(const std::wstring& subkey, const std::wstring& name, int64_t unix_seconds, bool old_layout = false);

  static uint64_t FileTimeOf(int64_t unix_seconds) {
    return static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL;
  }
  // A copy of the icon probe library (icons at indexes 0: alpha, 1: alpha all zero with a mask,
  // 2: mask only) in `local_`.
  std::wstring IconProbe() const;

  std::wstring root_name_;  // below HKEY_CURRENT_USER
  ScopedRegKey root_;
  std::wstring local_;  // on the drive the test counts as internal
  std::wstring other_;  // on a drive the test counts as removable
};

// The data folder the whole test program uses (APPDATA + "\Vuqsafe\Velmora").
std::wstring TestDataFolder();

}  // namespace velmora::test
