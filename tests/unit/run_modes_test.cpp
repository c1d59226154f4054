#include "app/run_modes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/per_user_copy.h"

namespace velmora {
namespace {

class RecordingActions final : public IRunModeActions {
 public:
  explicit RecordingActions(bool switch_on) : switch_on_(switch_on) {}
  void RunEngineChild() override { calls.push_back("child"); }
  void EnableSideBar() override { calls.push_back("enable"); }
  void Uninstall() override { calls.push_back("uninstall"); }
  void Promotion() override { calls.push_back("promotion"); }
  bool IsSideBarSwitchOn() override {
    calls.push_back("switch?");
    return switch_on_;
  }
  void NormalStart() override { calls.push_back("normal"); }

  std::vector<std::string> calls;

 private:
  bool switch_on_;
};

std::vector<std::string> RunWith(const std::vector<std::wstring>& args, bool switch_on = true) {
  CCommandLine table;
  table.Parse(args, L"Velmora.exe");
  RecordingActions actions(switch_on);
  RunModeForSwitches(table, actions);
  return actions.calls;
}

using Calls = std::vector<std::string>;

TEST(RunModes, TableOrderDecides) {
  EXPECT_EQ(Calls({"normal"}), RunWith({}));
  EXPECT_EQ(Calls({"normal"}), RunWith({L"bare", L"words"}));
  EXPECT_EQ(Calls({"enable", "normal"}), RunWith({L"/inst"}));
  EXPECT_EQ(Calls({"enable"}), RunWith({L"/inst_norun"}));
  EXPECT_EQ(Calls({"uninstall"}), RunWith({L"/uninst"}));
  EXPECT_EQ(Calls({"promotion"}), RunWith({L"/promotion"}));
  EXPECT_EQ(Calls({"promotion"}), RunWith({L"-P"}));
  EXPECT_EQ(Calls({"normal"}), RunWith({L"/rerun"}));
  EXPECT_EQ(Calls({"normal"}), RunWith({L"/lowrun", L"/from=promotion"}));
  EXPECT_EQ(Calls({"normal"}), RunWith({L"/unknown"}));
}

TEST(RunModes, InstallGoesOnToTheFollowingRows) {
  EXPECT_EQ(Calls({"enable", "uninstall"}), RunWith({L"/inst", L"/uninst"}));
  EXPECT_EQ(Calls({"enable"}), RunWith({L"/inst_norun", L"/uninst"}));
  EXPECT_EQ(Calls({"enable", "enable"}), RunWith({L"/inst", L"/inst_norun"}));
  EXPECT_EQ(Calls({"enable", "promotion"}), RunWith({L"/p", L"/inst"}));
  EXPECT_EQ(Calls({"uninstall"}), RunWith({L"/p", L"/uninst"}));
}

TEST(RunModes, AutostartHonoursTheSideBarSwitch) {
  EXPECT_EQ(Calls({"switch?", "normal"}), RunWith({L"/start"}, /*switch_on=*/true));
  EXPECT_EQ(Calls({"switch?"}), RunWith({L"/start"}, /*switch_on=*/false));
  EXPECT_EQ(Calls({"enable", "switch?"}), RunWith({L"/inst", L"/start"}, /*switch_on=*/false));
}

TEST(RunModes, EngineChildIsFoundInTheRawCommandLine) {
  EXPECT_TRUE(IsEngineChildCommandLine(L"\"C:\\s\\Velmora.exe\" --type=renderer --lang=en"));
  EXPECT_TRUE(IsEngineChildCommandLine(L"x --type"));
  EXPECT_TRUE(IsEngineChildCommandLine(L"\"C:\\odd--typedir\\Velmora.exe\""));  // a substring test
  EXPECT_FALSE(IsEngineChildCommandLine(L"x --TYPE=gpu"));
  EXPECT_FALSE(IsEngineChildCommandLine(L"x /type=gpu"));
  EXPECT_FALSE(IsEngineChildCommandLine(L""));
}

// The per-user copy is made and started only by a process that is not elevated; an elevated one
// drops elevation first, or runs in place when it cannot.
TEST(StartPlanTable, TheCopyNeverStartsElevated) {
  const auto drop = StartPlan::kDropElevation, copy = StartPlan::kRunFromCopy, in_place = StartPlan::kRunInPlace;
  const struct { bool elevated, can_drop, dropped, rerun, in_suite; StartPlan plan; } cases[] = {
      // elevated: drop first, whatever the folder
      {true, true, false, false, true, drop},
      {true, true, false, true, false, drop},
      // elevated and unable to drop, or still elevated after the drop: in place, never the copy
      {true, false, false, false, true, in_place},
      {true, true, true, false, true, in_place},
      {true, false, true, true, false, in_place},
      // not elevated: the copy from the suite folder, in place otherwise
      {false, false, false, false, true, copy},
      {false, false, true, false, true, copy},
      {false, true, true, false, true, copy},
      {false, false, false, true, true, in_place},
      {false, false, true, true, false, in_place},
      {false, false, false, false, false, in_place},
  };
  for (const auto& c : cases) {
    StartFacts facts;
    facts.elevated = c.elevated;
    facts.can_drop = c.can_drop;
    facts.dropped = c.dropped;
    facts.rerun = c.rerun;
    facts.in_suite_folder = c.in_suite;
    EXPECT_EQ(PlanStart(facts), c.plan) << c.elevated << c.can_drop << c.dropped << c.rerun << c.in_suite;
  }
}

}  // namespace
}  // namespace velmora
