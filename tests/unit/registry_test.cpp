#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/scoped_handle.h"

namespace velmora {
namespace {

// Names longer than asked for are skipped; a key deleted while it is open (which answers
// ERROR_KEY_DELETED at every index) ends the enumeration instead of spinning through them all.
TEST(RegistrySubkeyNames, LongNamesAreSkippedAndADeletedKeyEndsTheList) {
  const std::wstring path = L"Software\\VelmoraSubkeyNamesTest";
  ::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
  for (const wchar_t* name : {L"a", L"bbbbbb", L"c"}) {
    ScopedRegKey sub;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (path + L"\\" + name).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                                sub.receive(), nullptr),
              ERROR_SUCCESS);
  }
  ScopedRegKey key;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.receive()), ERROR_SUCCESS);
  EXPECT_EQ(SubkeyNames(key.get(), 3), (std::vector<std::wstring>{L"a", L"c"}));
  ASSERT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
  for (const DWORD index : {0u, 1000u}) {
    wchar_t name[8];
    DWORD chars = 8;
    EXPECT_EQ(::RegEnumKeyExW(key.get(), index, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  }
  EXPECT_TRUE(SubkeyNames(key.get(), 255).empty());
}

}  // namespace
}  // namespace velmora
