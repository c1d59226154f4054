#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr wchar_t kProgram[] = L"Velmora.exe";

struct Parsed {
  int count;
  CCommandLine table;
};

Parsed ParseArgs(const std::vector<std::wstring>& args) {
  Parsed parsed{0, {}};
  parsed.count = parsed.table.Parse(args, kProgram);
  return parsed;
}

std::vector<std::wstring> Values(const CCommandLine& table, const wchar_t* name) {
  std::vector<std::wstring> values;
  for (size_t i = 0; i < table.GetSwitchValueCount(name); ++i) values.push_back(table.GetSwitchValue(name, i));
  return values;
}

TEST(CommandLine, ProgramPathIsSkippedOnlyWhenItNamesUsAfterTheFirstCharacter) {
  auto with_path = ParseArgs({L"C:\\Suite\\Utils\\VELMORA.EXE", L"/inst"});
  EXPECT_EQ(1, with_path.count);
  EXPECT_EQ(L"/inst ", with_path.table.RawArguments());

  // The bare file name starts at position 0: it is kept, as a bare value nobody takes.
  auto bare_name = ParseArgs({L"Velmora.exe", L"/inst"});
  EXPECT_EQ(L"Velmora.exe /inst ", bare_name.table.RawArguments());
  EXPECT_EQ(1u, bare_name.table.SwitchCount());

  // Where a value can stand, a bare word is the value, whatever it names.
  auto after_switch = ParseArgs({L"/x", L"\"C:\\a\\velmora.exe\""});
  EXPECT_EQ(std::vector<std::wstring>{L"\"C:\\a\\velmora.exe\""}, Values(after_switch.table, L"x"));
  EXPECT_EQ(L"/x \"C:\\a\\velmora.exe\" ", after_switch.table.RawArguments());
}

TEST(CommandLine, EmptyAndDegenerateArguments) {
  auto empty = ParseArgs({});
  EXPECT_EQ(0, empty.count);
  EXPECT_EQ(L"", empty.table.RawArguments());

  auto only_program = ParseArgs({L"Z:\\velmora.exe"});
  EXPECT_EQ(0, only_program.count);
  EXPECT_EQ(L"", only_program.table.RawArguments());

  // Bare values with no switch before them are dropped, but travel in the raw string.
  auto lone = ParseArgs({L"=", L"", L"-", L"/", L"word"});
  EXPECT_EQ(0, lone.count);
  EXPECT_EQ(0u, lone.table.SwitchCount());
  EXPECT_EQ(L"=  - / word ", lone.table.RawArguments());

  // Names that trim to nothing are not entered.
  auto nameless = ParseArgs({L"/=", L"--", L"-/:x", L"//"});
  EXPECT_EQ(0, nameless.count);
  EXPECT_FALSE(nameless.table.HasSwitch(L""));
}

TEST(CommandLine, SwitchNamesAndValues) {
  struct Case {
    std::vector<std::wstring> args;
    const wchar_t* name;
    std::vector<std::wstring> values;
  };
  const Case cases[] = {
      {{L"/inst"}, L"inst", {L""}},
      {{L"-P"}, L"p", {L""}},                                  // dash, capital letter
      {{L"/from=promotion", L"word"}, L"from", {L"promotion", L"word"}},
      {{L"/from:Promotion"}, L"FROM", {L"Promotion"}},         // values keep their case
      {{L"/a:b=c"}, L"a:b", {L"c"}},                           // "=" wins over ":"
      {{L"/k=v=w"}, L"k", {L"v=w"}},                           // split at the first "="
      {{L"/k="}, L"k", {L""}},
      {{L"-/x"}, L"x", {L""}},                                 // dashes, then slashes
      {{L"/-x"}, L"-x", {L""}},                                // no dash to trim first
      {{L"--type=gpu"}, L"type", {L"gpu"}},
      {{L"/x", L"-"}, L"x", {L"-"}},                           // "-" alone is a bare value
      {{L"/x", L"a", L"b"}, L"x", {L"a"}},                     // one bare value is taken
      {{L"/from=a", L"/from=b"}, L"from", {L"a", L"b"}},       // repeats add values
      {{L"/\u00C4BC=\u00DC"}, L"\u00E4bc", {L"\u00DC"}},       // non-ASCII names fold too
  };
  for (const Case& c : cases) {
    auto parsed = ParseArgs(c.args);
    EXPECT_TRUE(parsed.table.HasSwitch(c.name)) << c.args[0];
    EXPECT_EQ(c.values, Values(parsed.table, c.name)) << c.args[0];
  }
}

TEST(CommandLine, ConsumedValueStaysInTheRawArguments) {
  auto parsed = ParseArgs({L"C:\\x\\Velmora.exe", L"/from=promotion", L"word", L"/start"});
  EXPECT_EQ(2, parsed.count);
  EXPECT_EQ(L"/from=promotion word /start ", parsed.table.RawArguments());
  EXPECT_TRUE(parsed.table.HasSwitch(L"start"));
}

TEST(CommandLine, MissingSwitchOrValueReadsEmpty) {
  auto parsed = ParseArgs({L"/a=1"});
  EXPECT_EQ(L"", parsed.table.GetSwitchValue(L"b"));
  EXPECT_EQ(L"", parsed.table.GetSwitchValue(L"a", 1));
  EXPECT_EQ(0u, parsed.table.GetSwitchValueCount(L"b"));
}

TEST(CommandLine, VeryLongArgumentsSurviveWhole) {
  const std::wstring long_value(100000, L'v');
  auto parsed = ParseArgs({L"/from=" + long_value, std::wstring(70000, L'w')});
  EXPECT_EQ(long_value, parsed.table.GetSwitchValue(L"from"));
  EXPECT_EQ(70000u, parsed.table.GetSwitchValue(L"from", 1).size());
  EXPECT_EQ(6 + 100000 + 1 + 70000 + 1, static_cast<int>(parsed.table.RawArguments().size()));
}

TEST(CommandLine, ParsingAgainReplacesTheTable) {
  CCommandLine table;
  table.Parse({L"/inst"}, kProgram);
  EXPECT_EQ(0, table.Parse({L"word"}, kProgram));
  EXPECT_FALSE(table.HasSwitch(L"inst"));
  EXPECT_EQ(L"word ", table.RawArguments());
}

}  // namespace
}  // namespace velmora
