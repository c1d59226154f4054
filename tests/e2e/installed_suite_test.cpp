// The real Velmora.exe in a suite folder of its own, "installed" by the registry value that
// names the suite, with the signed stand-ins beside it. What the stand-ins were asked to do is
// read back from their log.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "platform/text.h"
#include "platform/version_info.h"
#include "tests/e2e/child_process.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_backup.h"

namespace velmora::test {
namespace {

constexpr DWORD kTimeoutMs = 10 * 60 * 1000;

// Test programs and stand-in variants built beside the test executables.
std::wstring TestFile(const wchar_t* name) { return ParentFolder(GetModulePath(nullptr)) + L"\\" + name; }

FILETIME LastWrite(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

class InstalledSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(temp_.path().empty());
    suite_ = temp_.path() + L"\\suite";
    built_ = ParentFolder(ParentFolder(VelmoraUnderTest()));
    ASSERT_EQ(0, ::SHCreateDirectoryExW(nullptr, (suite_ + L"\\Utils").c_str(), nullptr));
    for (const wchar_t* name : {L"Utils\\Velmora.exe", L"HostKit.dll", L"FaultSink.dll", L"BaseCore.dll",
                                L"ConfCore.dll"}) {
      ASSERT_TRUE(::CopyFileW((built_ + L"\\" + name).c_str(), (suite_ + L"\\" + name).c_str(), FALSE)) << name;
    }
    log_ = temp_.path() + L"\\standins.log";
    appdata_ = temp_.path() + L"\\appdata";
    ::CreateDirectoryW(appdata_.c_str(), nullptr);

    // The installed machine: the suite folder registered where the program reads it.
    registration_.emplace(suite_, RegistryViewOf(VelmoraUnderTest()));
  }

  ChildResult Run(const std::wstring& arguments) {
    return RunChild(suite_ + L"\\Utils\\Velmora.exe", arguments, kTimeoutMs,
                    {{L"APPDATA", appdata_}, {L"VELMORA_STANDIN_LOG", log_}});
  }

  std::vector<LogEntry> Log() const { return ReadLog(log_); }

  // Waits (bounded) until the log satisfies `done`; relaunched processes finish after the one
  // the test started.
  std::vector<LogEntry> WaitForLog(const std::function<bool(const std::vector<LogEntry>&)>& done) const {
    std::vector<LogEntry> log;
    for (int i = 0; i < 600; ++i) {
      log = Log();
      if (done(log)) break;
      ::Sleep(100);
    }
    return log;
  }

  // The process started with "/lowrun" has logged its exit: the relaunch chain is over.
  std::vector<LogEntry> WaitForLowrunExit() const {
    return WaitForLog([](const std::vector<LogEntry>& log) {
      for (const LogEntry& start : log) {
        if (start.component != "faultsink" || start.text.find("/lowrun") == std::string::npos) continue;
        for (const LogEntry& end : log) {
          if (end.pid == start.pid && end.text == "exiting") return true;
        }
      }
      return false;
    });
  }

  void Tamper(const wchar_t* name) { FlipMiddleByte(suite_ + L"\\" + name); }

  std::wstring PerUserCopy() const { return appdata_ + L"\\Vuqsafe\\Velmora\\Velmora.exe"; }
  void PlaceCopy(const std::wstring& from) {
    ::SHCreateDirectoryExW(nullptr, ParentFolder(PerUserCopy()).c_str(), nullptr);
    ASSERT_TRUE(::CopyFileW(from.c_str(), PerUserCopy().c_str(), FALSE)) << from;
  }

  ScopedTempFolder temp_;
  test::ScopedRegistryBackup settings_{HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora"};
  // "/inst_norun" writes the autostart value: left behind, it would start a side bar in every
  // later Wine session of the prefix.
  test::ScopedRegistryBackup run_{HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run"};
  std::wstring built_, suite_, log_, appdata_;
  std::optional<ScopedSuiteRegistration> registration_;
};

TEST_F(InstalledSuite, SignedCompanionsAreStartedAndReleased) {
  ChildResult result = Run(L"/inst_norun");
  ASSERT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exit_code);
  const auto log = Log();
  for (const char* id : {"{FF6F9F16-F442-4C89-9042-528847DC768D}", "{76EF03C2-3177-4DBE-A7DB-19F8B1EC8301}"}) {
    for (const char* step : {"create ", "start ", "stop ", "release "}) {
      EXPECT_EQ(1u, Count(log, "hostkit", std::string(step) + id)) << step << id;
    }
  }
  EXPECT_EQ(1u, Count(log, "faultsink", "initialize"));
  EXPECT_EQ(1u, Count(log, "faultsink", "exiting"));
}

TEST_F(InstalledSuite, TamperedOrForeignCompanionsAreRefusedSilently) {
  struct Case {
    const wchar_t* file;
    const wchar_t* replacement;  // a variant built beside the tests, or null to flip a byte
    bool host_kit_loads;
    bool fault_sink_loads;
  };
  const Case cases[] = {
      {L"HostKit.dll", nullptr, false, true},
      {L"HostKit.dll", L"HostKit_other.dll", false, true},
      {L"HostKit.dll", L"HostKit_unsigned.dll", false, true},
      {L"FaultSink.dll", nullptr, true, false},
      // The trust service itself fails its check: nothing can be trusted.
      {L"BaseCore.dll", nullptr, false, false},
  };
  const std::wstring clean = temp_.path() + L"\\clean";
  ::CreateDirectoryW(clean.c_str(), nullptr);
  for (const Case& c : cases) {
    const std::wstring target = suite_ + L"\\" + c.file;
    const std::wstring saved = clean + L"\\" + c.file;
    ASSERT_TRUE(::CopyFileW(target.c_str(), saved.c_str(), FALSE));
    if (c.replacement) {
      ASSERT_TRUE(::CopyFileW((built_ + L"\\" + c.replacement).c_str(), target.c_str(), FALSE)) << c.replacement;
    } else {
      Tamper(c.file);
    }
    ::DeleteFileW(log_.c_str());
    ChildResult result = Run(L"/inst_norun");
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(0u, result.exit_code);
    const auto log = Log();
    EXPECT_EQ(c.host_kit_loads, Count(log, "hostkit", "start ") == 2) << c.file << (c.replacement ? c.replacement : L"");
    EXPECT_EQ(c.fault_sink_loads, Count(log, "faultsink", "initialize") == 1) << c.file;
    ASSERT_TRUE(::CopyFileW(saved.c_str(), target.c_str(), FALSE));
  }
}

// Processes here run elevated, and the dropped start is elevated too: the side bar then runs in
// place from the suite folder, and the per-user copy (in a folder the user's processes can write)
// is never made or started with that token.
TEST_F(InstalledSuite, AnElevatedStartDropsElevationOnceAndNeverMakesTheCopy) {
  for (int start = 0; start < 2; ++start) {
    ::DeleteFileW(log_.c_str());
    EXPECT_EQ(0u, Run(L"").exit_code);
    const auto log = WaitForLowrunExit();
    // The suite's program, and the program again with /lowrun: no more.
    EXPECT_EQ(2u, Count(log, "faultsink", "initialize")) << start;
    EXPECT_EQ(0u, Count(log, "faultsink", "/rerun")) << start;
    EXPECT_EQ(1u, Count(log, "faultsink", "/lowrun")) << start;
    EXPECT_EQ(1u, Count(log, "hostkit", "shell-execute")) << start;
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(PerUserCopy().c_str())) << start;
  }
}

TEST_F(InstalledSuite, ArgumentsTooLongToDropElevationRunInPlace) {
  // The relaunch's parameters are "/lowrun " and the raw arguments (each followed by a space):
  // 22 characters and the x's.
  auto arguments = [](size_t parameters) { return L"/rerun /from=" + std::wstring(parameters - 22, L'x'); };
  EXPECT_EQ(0u, Run(arguments(951)).exit_code);  // one over what the launch entry takes
  const auto log = Log();
  EXPECT_EQ(0u, Count(log, "hostkit", "shell-execute"));
  EXPECT_EQ(0u, Count(log, "faultsink", "/lowrun"));
  EXPECT_EQ(1u, Count(log, "faultsink", "initialize"));

  ::DeleteFileW(log_.c_str());
  EXPECT_EQ(0u, Run(arguments(950)).exit_code);  // drops elevation as usual
  EXPECT_EQ(1u, Count(WaitForLowrunExit(), "hostkit", "shell-execute"));
}

TEST_F(InstalledSuite, AnElevatedStartLeavesAnyCopyAsItIsAndUnstarted) {
  const struct { const wchar_t* file; const wchar_t* version; } copies[] = {
      {L"old_probe_signed.exe", L"0.9.0.0"},         // older and signed
      {L"version_probe.exe", L"3.14.15.9265"},       // unsigned
      {L"version_probe_signed.exe", L"3.14.15.9265"}  // newer and signed
  };
  for (const auto& c : copies) {
    ::DeleteFileW(log_.c_str());
    PlaceCopy(TestFile(c.file));
    const FILETIME before = LastWrite(PerUserCopy());
    EXPECT_EQ(0u, Run(L"").exit_code);
    const auto log = WaitForLowrunExit();
    const FILETIME after = LastWrite(PerUserCopy());
    EXPECT_EQ(0, ::CompareFileTime(&before, &after)) << c.file;
    EXPECT_EQ(c.version, GetFileVersionText(PerUserCopy())) << c.file;
    EXPECT_EQ(0u, Count(log, "faultsink", "/rerun")) << c.file;
  }
}

TEST_F(InstalledSuite, AutostartRunsOnlyWhileTheSideBarIsSwitchedOn) {
  const DWORD off = 0;
  ::SHSetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora", L"switch_flags", REG_DWORD, &off, sizeof(off));
  ChildResult result = Run(L"/start");
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(0u, result.exit_code);
  EXPECT_EQ(1u, Count(Log(), "faultsink", "initialize"));  // this process alone: nothing started
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(PerUserCopy().c_str()));

  const DWORD on = 1;
  ::SHSetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\VuqAppMgr\\Velmora", L"switch_flags", REG_DWORD, &on, sizeof(on));
  ::DeleteFileW(log_.c_str());
  EXPECT_EQ(0u, Run(L"/start").exit_code);
  const auto log = WaitForLowrunExit();
  EXPECT_EQ(2u, Count(log, "faultsink", "initialize"));  // the start and its dropped start, in place
  EXPECT_EQ(1u, Count(log, "faultsink", "/lowrun"));
}

TEST_F(InstalledSuite, ACopyThatCannotBeWrittenLeavesTheProgramRunningInPlace) {
  PlaceCopy(TestFile(L"version_probe.exe"));  // unsigned: it would be replaced
  HANDLE locked = ::CreateFileW(PerUserCopy().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, locked);
  EXPECT_EQ(0u, Run(L"").exit_code);
  const auto log = WaitForLowrunExit();
  ::CloseHandle(locked);
  EXPECT_EQ(0u, Count(log, "faultsink", "/rerun"));
  EXPECT_EQ(1u, Count(log, "faultsink", "/lowrun"));
  EXPECT_EQ(L"3.14.15.9265", GetFileVersionText(PerUserCopy()));
}

// The promotion prompt in the installed suite, with the skin stand-in and its files, the side bar
// switched off and the prompt never shown before. The skin stand-in clicks a button when told to.
class PromotionPrompt : public InstalledSuite {
 protected:
  void SetUp() override {
    InstalledSuite::SetUp();
    for (const wchar_t* name : {L"Utils\\SkinProxy.dll", L"Utils\\SkinSite.dll"}) {
      ASSERT_TRUE(::CopyFileW((built_ + L"\\" + name).c_str(), (suite_ + L"\\" + name).c_str(), FALSE)) << name;
    }
    ASSERT_TRUE(CopyTree(built_ + L"\\Config", suite_ + L"\\Config"));
    SetSetting(L"switch_flags", 0);
    ::SHDeleteValueW(HKEY_CURRENT_USER, kSettings, L"last_show_promotion");
  }

  // Runs `arguments`; the skin clicks `control` (0: nothing) shortly after the prompt shows.
  ChildResult RunClicking(const std::wstring& arguments, int control) {
    return RunChild(suite_ + L"\\Utils\\Velmora.exe", arguments, kTimeoutMs,
                    {{L"APPDATA", appdata_}, {L"VELMORA_STANDIN_LOG", log_},
                     {L"VELMORA_SKIN_CLICK", control ? std::to_wstring(control) + L" 200" : L""}});
  }

  static void SetSetting(const wchar_t* name, DWORD value) {
    ::SHSetValueW(HKEY_CURRENT_USER, kSettings, name, REG_DWORD, &value, sizeof(value));
  }
  static std::optional<DWORD> Setting(const wchar_t* name) {
    DWORD value = 0, type = 0, size = sizeof(value);
    if (::SHGetValueW(HKEY_CURRENT_USER, kSettings, name, &type, &value, &size) != ERROR_SUCCESS || type != REG_DWORD) {
      return std::nullopt;
    }
    return value;
  }
  static DWORD Now() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return static_cast<DWORD>((ULARGE_INTEGER{{now.dwLowDateTime, now.dwHighDateTime}}.QuadPart / 10000000ULL) -
                              11644473600ULL);
  }
  // Started programs whose command line holds "/from=promotion".
  size_t PromotionStarts() const { return Count(Log(), "faultsink", "/from=promotion"); }

  static constexpr wchar_t kSettings[] = L"SOFTWARE\\VuqAppMgr\\Velmora";
};

TEST_F(PromotionPrompt, AcceptingSwitchesTheSideBarOnAndStartsItFromThePromotion) {
  for (const wchar_t* arguments : {L"-P", L"/promotion"}) {
    SetSetting(L"switch_flags", 0);
    ::SHDeleteValueW(HKEY_CURRENT_USER, kSettings, L"last_show_promotion");
    ::DeleteFileW(log_.c_str());
    const DWORD before = Now();
    ChildResult result = RunClicking(arguments, 1035);
    const DWORD after = Now();
    ASSERT_TRUE(result.finished) << arguments;
    EXPECT_EQ(0u, result.exit_code);
    const auto log = WaitForLowrunExit();

    // Shown once, in the work area's bottom-right corner 5 pixels in (96 DPI here), topmost,
    // without a caption, both buttons subscribed.
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    char corner[64];
    std::snprintf(corner, sizeof(corner), ",%ld,%ld topmost=1 caption=0 toolwindow=1", work.right - 5, work.bottom - 5);
    EXPECT_EQ(1u, Count(log, "skin", "shown rect=")) << arguments;
    EXPECT_EQ(1u, Count(log, "skin", corner)) << corner;
    EXPECT_EQ(1u, Count(log, "skin", "sinks=1030:0,1034:1,1035:1"));

    EXPECT_EQ(std::optional<DWORD>(1), Setting(L"switch_flags"));
    const auto stamp = Setting(L"last_show_promotion");
    ASSERT_TRUE(stamp.has_value());
    EXPECT_GE(*stamp, before);
    EXPECT_LE(*stamp, after);
    // The suite's program started with "/from=promotion"; it then runs as a normal start would.
    EXPECT_EQ(1u, Count(log, "faultsink", "Utils\\Velmora.exe\" /from=promotion")) << arguments;
    EXPECT_EQ(1u, Count(log, "faultsink", "/lowrun"));
  }
}

TEST_F(PromotionPrompt, ClosingRecordsTheTimeAndTheNextStartWithinADayShowsNothing) {
  const DWORD before = Now();
  ChildResult closed = RunClicking(L"-P", 1034);
  ASSERT_TRUE(closed.finished);
  EXPECT_EQ(0u, closed.exit_code);
  EXPECT_EQ(1u, Count(Log(), "skin", "shown rect="));
  EXPECT_EQ(1u, Count(Log(), "skin", "click 1034"));
  EXPECT_EQ(0u, PromotionStarts());
  EXPECT_EQ(std::optional<DWORD>(0), Setting(L"switch_flags"));
  const auto stamp = Setting(L"last_show_promotion");
  ASSERT_TRUE(stamp.has_value());
  EXPECT_GE(*stamp, before);

  // Within the day: not even the skin is started.
  ::DeleteFileW(log_.c_str());
  ChildResult again = RunClicking(L"-P", 1035);
  ASSERT_TRUE(again.finished);
  EXPECT_EQ(0u, again.exit_code);
  EXPECT_EQ(0u, Count(Log(), "skin", ""));
  EXPECT_EQ(stamp, Setting(L"last_show_promotion"));

  // A day and a minute later it is shown again; switched on, it is not.
  SetSetting(L"last_show_promotion", Now() - 1441 * 60);
  ::DeleteFileW(log_.c_str());
  EXPECT_EQ(0u, RunClicking(L"-P", 1034).exit_code);
  EXPECT_EQ(1u, Count(Log(), "skin", "shown rect="));
  SetSetting(L"last_show_promotion", 0);
  SetSetting(L"switch_flags", 1);
  ::DeleteFileW(log_.c_str());
  EXPECT_EQ(0u, RunClicking(L"-P", 1035).exit_code);
  EXPECT_EQ(0u, Count(Log(), "skin", ""));
  EXPECT_EQ(std::optional<DWORD>(0), Setting(L"last_show_promotion"));
}

TEST_F(PromotionPrompt, ABrokenSkinShowsNothingButTheDayStillCounts) {
  struct Case {
    const char* what;
    const wchar_t* file;         // under the suite folder
    const wchar_t* replacement;  // a file of the build, or null to write `content`
    const char* content;
  };
  const std::wstring layout = L"Config\\newui\\themes\\default\\Velmora\\Xml\\WndPromotion.xml";
  const Case cases[] = {
      {"missing layout", layout.c_str(), nullptr, nullptr},
      {"damaged layout", layout.c_str(), nullptr, "<Window size=\"320,180\"><Control id=\"1030\" kind="},
      {"layout without the switch-on button", layout.c_str(), nullptr,
       "<Window size=\"320,180\"><Control id=\"1030\" kind=\"content\" pos=\"0,0,9,9\"/>"
       "<Control id=\"1034\" kind=\"button\" pos=\"0,9,9,9\"/></Window>"},
      {"missing shared resources", L"Config\\newui\\themes\\default\\Common\\XML\\CommonResource.xml", nullptr, nullptr},
      {"unsigned skin proxy", L"Utils\\SkinProxy.dll", L"Utils\\SkinProxy_unsigned.dll", nullptr},
      {"unsigned skin site", L"Utils\\SkinSite.dll", L"Utils\\SkinSite_unsigned.dll", nullptr},
  };
  for (const Case& c : cases) {
    const std::wstring target = suite_ + L"\\" + c.file;
    const std::wstring saved = temp_.path() + L"\\saved";
    ASSERT_TRUE(::CopyFileW(target.c_str(), saved.c_str(), FALSE)) << c.what;
    ::DeleteFileW(target.c_str());
    if (c.replacement) {
      ASSERT_TRUE(::CopyFileW((built_ + L"\\" + c.replacement).c_str(), target.c_str(), FALSE)) << c.what;
    }
    if (c.content) std::ofstream(WideToUtf8(target).c_str(), std::ios::binary) << c.content;
    ::SHDeleteValueW(HKEY_CURRENT_USER, kSettings, L"last_show_promotion");
    ::DeleteFileW(log_.c_str());

    // Were the prompt shown, the skin would accept it.
    ChildResult result = RunClicking(L"-P", 1035);
    EXPECT_TRUE(result.finished) << c.what;
    EXPECT_EQ(0u, result.exit_code) << c.what;
    EXPECT_EQ(0u, Count(Log(), "skin", "shown")) << c.what;
    EXPECT_EQ(0u, PromotionStarts()) << c.what;
    EXPECT_EQ(std::optional<DWORD>(0), Setting(L"switch_flags")) << c.what;
    EXPECT_TRUE(Setting(L"last_show_promotion").has_value()) << c.what;
    ASSERT_TRUE(::CopyFileW(saved.c_str(), target.c_str(), FALSE)) << c.what;
  }
}

}  // namespace
}  // namespace velmora::test
