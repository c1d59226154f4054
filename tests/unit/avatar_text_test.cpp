#include "account/avatar_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

using test::WriteAll;

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
  const test::TempFolder folder(L"VelmoraAvatar");
  const std::wstring image = folder / L"head.png";
  ASSERT_TRUE(WriteAll(image, "\x89PNG"));
  CAvatarText avatar;
  EXPECT_EQ(avatar.Get(image), "iVBORw");

  // A changed image is seen only after a sign-out cleared the text.
  WriteAll(image, "Man");
  EXPECT_EQ(avatar.Get(image), "iVBORw");
  EXPECT_EQ(avatar.Get(L""), "iVBORw");
  avatar.Clear();
  EXPECT_EQ(avatar.Get(image), "TWFu");
}

TEST(AvatarText, MissingEmptyOrOversizedFileGivesEmptyTextAndIsTriedAgain) {
  CAvatarText avatar;
  const test::TempFolder folder(L"VelmoraAvatar");
  const std::wstring image = folder / L"later.png";
  EXPECT_EQ(avatar.Get(image), "");
  EXPECT_EQ(avatar.Get(L""), "");
  EXPECT_EQ(avatar.Get(folder / L"no-such-folder\\x.png"), "");

  WriteAll(image, "");
  EXPECT_EQ(avatar.Get(image), "");

  WriteAll(image, std::string(static_cast<size_t>(kMaxAvatarFileBytes) + 1, 'x'));
  EXPECT_EQ(ReadAvatarFile(image), std::nullopt);
  EXPECT_EQ(avatar.Get(image), "");

  WriteAll(image, "M");  // the file arrives later: the next ask builds the text
  EXPECT_EQ(avatar.Get(image), "TQ");
}

}  // namespace
}  // namespace velmora
