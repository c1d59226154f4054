#include "account/avatar_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {
namespace {

std::wstring TempFile(const wchar_t* name) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return FormatW(L"%lsVelmoraAvatar%lu_%ls", temp, ::GetCurrentProcessId(), name);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  DWORD written = 0;
  ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

TEST(EncodeBase64NoPadding, StandardAlphabetWithoutPaddingOrBreaks) {
  const struct {
    std::string bytes;
    const char* text;
  } cases[] = {
      {"", ""},
      {"M", "TQ"},
      {"Ma", "TWE"},
      {"Man", "TWFu"},
      {std::string("\x89PNG", 4), "iVBORw"},  // 4 bytes: 6 characters
      {std::string("\xfb\xff\xbf", 3), "+/+/"},  // the two non-alphanumeric letters
      {std::string("\0\0\0\0\0", 5), "AAAAAAA"},
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeBase64NoPadding(c.bytes), c.text) << c.text;

  const std::string long_text = EncodeBase64NoPadding(std::string(3000, '\x7f'));
  EXPECT_EQ(long_text.size(), 4000u);
  EXPECT_EQ(long_text.find_first_of("=\r\n"), std::string::npos);
}

TEST(AvatarText, BuiltFromTheFileOnceAndKeptUntilCleared) {
  const std::wstring image = TempFile(L"head.png");
  WriteBytes(image, std::string("\x89PNG", 4));
  CAvatarText avatar;
  EXPECT_EQ(avatar.Get(image), "iVBORw");

  // A changed image is seen only after a sign-out cleared the text.
  WriteBytes(image, "Man");
  EXPECT_EQ(avatar.Get(image), "iVBORw");
  EXPECT_EQ(avatar.Get(L""), "iVBORw");
  avatar.Clear();
  EXPECT_EQ(avatar.Get(image), "TWFu");
  ::DeleteFileW(image.c_str());
}

TEST(AvatarText, MissingEmptyOrOversizedFileGivesEmptyTextAndIsTriedAgain) {
  CAvatarText avatar;
  const std::wstring image = TempFile(L"later.png");
  ::DeleteFileW(image.c_str());
  EXPECT_EQ(avatar.Get(image), "");
  EXPECT_EQ(avatar.Get(L""), "");
  EXPECT_EQ(avatar.Get(TempFile(L"no-such-folder\\x.png")), "");

  WriteBytes(image, "");
  EXPECT_EQ(avatar.Get(image), "");

  WriteBytes(image, std::string(static_cast<size_t>(kMaxAvatarFileBytes) + 1, 'x'));
  EXPECT_EQ(ReadAvatarFile(image), std::nullopt);
  EXPECT_EQ(avatar.Get(image), "");

  WriteBytes(image, "M");  // the file arrives later: the next ask builds the text
  EXPECT_EQ(avatar.Get(image), "TQ");
  ::DeleteFileW(image.c_str());
}

}  // namespace
}  // namespace velmora
