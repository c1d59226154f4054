#include "config/config_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

using List = std::vector<std::wstring>;
const List kBuiltIn = {L"*Velmora.exe", L"*PhoneExperienceHost.exe", L"*SnapTool.exe"};

TEST(SplitAtBars, EveryBarSplitsAndNothingIsTrimmed) {
  const struct {
    const wchar_t* text;
    List pieces;
  } cases[] = {
      {L"", {}},
      {L"a", {L"a"}},
      {L"a||b", {L"a", L"", L"b"}},
      {L"a|", {L"a", L""}},
      {L"|", {L"", L""}},
      {L"|a", {L"", L"a"}},
      {L" .exe | .DLL", {L" .exe ", L" .DLL"}},
      {L"A,,B", {L"A,,B"}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitAtBars(c.text), c.pieces) << c.text;
}

TEST(SplitAtBars, HostileBarRunsAreCapped) {
  const List pieces = SplitAtBars(std::wstring(1'000'000, L'|'));
  ASSERT_EQ(pieces.size(), kMaxBarListEntries);
  EXPECT_EQ(pieces.back(), L"");
}

struct RuleCase {
  const char* xml;  // nullptr: nothing loaded
  List upload;
  List recent;
};

TEST(ConfigRules, DeriveFromTheRootsFirstDirectChild) {
  const RuleCase cases[] = {
      {nullptr, {}, kBuiltIn},
      {"<cfg/>", {}, kBuiltIn},
      {"<any><kelu_upload unsupport='.exe|.DLL|'/><recent_app exclude='*a.exe'/></any>",
       {L".exe", L".DLL", L""}, {L"*a.exe"}},
      {"<cfg><kelu_upload/><recent_app/></cfg>", {}, kBuiltIn},
      {"<cfg><kelu_upload unsupport=''/><recent_app exclude=''/></cfg>", {}, kBuiltIn},
      // A bar alone is not empty text: its two empty pieces replace the built-in patterns.
      {"<cfg><recent_app exclude='|'/></cfg>", {}, {L"", L""}},
      {"<cfg><x><kelu_upload unsupport='.exe'/><recent_app exclude='*a'/></x></cfg>", {}, kBuiltIn},
      {"<kelu_upload unsupport='.exe'><kelu_upload unsupport='.dll'/></kelu_upload>", {L".dll"}, kBuiltIn},
      {"<cfg><kelu_upload/><kelu_upload unsupport='.b'/><recent_app exclude='x'/><recent_app exclude='y'/></cfg>",
       {}, {L"x"}},
      {"<cfg><Kelu_Upload unsupport='.a'/><recent_app Exclude='x'/></cfg>", {}, kBuiltIn},
      {"<cfg><kelu_upload unsupport='.exe'/><recent_app exclude='&lt;x&gt;|y'/><broken", {L".exe"}, {L"<x>", L"y"}},
  };
  for (const RuleCase& c : cases) {
    CXmlDocument document;
    if (c.xml) (void)document.LoadBytes(c.xml);
    const char* label = c.xml ? c.xml : "(nothing loaded)";
    EXPECT_EQ(DeriveUploadExclusions(document), c.upload) << label;
    EXPECT_EQ(DeriveRecentExclusions(document), c.recent) << label;
  }
}

TEST(MatchWildcard, WholeTextCaseFoldedMatch) {
  const struct {
    const wchar_t* text;
    const wchar_t* pattern;
    bool match;
  } cases[] = {
      {L"C:\\Program Files\\Vuqsafe\\Utils\\VELMORA.EXE", L"*Velmora.exe", true},
      {L"C:\\Program Files\\Vuqsafe\\Utils\\VELMORA.EXE", L"*Velmora", false},
      {L"C:\\x\\velmora.exe.bak", L"*Velmora.exe", false},
      {L"", L"*", true},
      {L"", L"**", true},
      {L"", L"", true},
      {L"", L"?", false},
      {L"", L"?*", false},
      {L"a", L"", false},
      {L"a", L"?", true},
      {L"ab", L"?", false},
      {L"abc", L"a?c", true},
      {L"ac", L"a?c", false},
      {L"a*c", L"a?c", true},
      {L"abc", L"a**c", true},
      {L"abc", L"*c*", true},
      {L"abc", L"*d*", false},
      {L"aabab", L"*ab*ab", true},
      {L"abab", L"*ab*ab", true},
      {L"ababa", L"*ab*ab", false},
      {L"aaab", L"*aab", true},
      {L"abac", L"*ab", false},
      {L"mississippi", L"m*iss*ppi", true},
      {L"mississippi", L"m*iss*ppx", false},
      {L"D:\\\u041f\u0420\u0418\u0412\u0415\u0422.EXE", L"*\u043f\u0440\u0438\u0432\u0435\u0442.exe", true},
      {L"\u00c4BC", L"\u00e4bc", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MatchWildcard(c.text, c.pattern), c.match) << c.text << L" ~ " << c.pattern;
}

TEST(MatchWildcard, HostilePatternsFinish) {
  const std::wstring text(5000, L'a');
  EXPECT_FALSE(MatchWildcard(text, std::wstring(100'000, L'*') + L"b"));
  std::wstring pattern;
  for (int i = 0; i < 1000; ++i) pattern += L"*a";
  EXPECT_FALSE(MatchWildcard(text, pattern + L"*b"));
  EXPECT_TRUE(MatchWildcard(text, pattern + L"*"));
}

TEST(IsUploadExcluded, ComparesTheExtensionExactly) {
  const struct {
    List exclusions;
    const wchar_t* path;
    bool excluded;
  } cases[] = {
      {{L".EXE"}, L"C:\\x\\setup.exe", false},
      {{L".EXE"}, L"C:\\x\\setup.EXE", true},
      {{L".gz"}, L"C:\\x\\a.tar.gz", true},
      {{L".tar.gz"}, L"C:\\x\\a.tar.gz", false},
      {{L".y\\noext"}, L"C:\\x.y\\noext", false},
      {{L"."}, L"C:\\x\\file.", true},
      {{}, L"C:\\x\\a.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUploadExcluded(c.exclusions, c.path), c.excluded) << c.path;

  // End to end: an entry in capitals from the file leaves the lower-case extension alone.
  CXmlDocument document;
  ASSERT_TRUE(document.LoadBytes("<cfg><kelu_upload unsupport='.EXE|.bat'/></cfg>"));
  const List exclusions = DeriveUploadExclusions(document);
  EXPECT_FALSE(IsUploadExcluded(exclusions, L"C:\\Users\\me\\tool.exe"));
  EXPECT_TRUE(IsUploadExcluded(exclusions, L"C:\\Users\\me\\run.bat"));
}

}  // namespace
}  // namespace velmora
