// Every library and program the side bar loads or starts, damaged one at a time in a copied suite
// and browser: missing, empty, unsigned, one byte changed, signed by someone else, or held open
// without sharing. The real Velmora.exe must go on as it does without that component (or show the
// damaged-library prompt for the login libraries), end with 0 and never load or start the file:
// the stand-ins record every load (VELMORA_STANDIN_LOAD_LOG) and start, so a file that got in
// would show. Each run prints one "fault-table" line.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/scoped_handle.h"
#include "platform/text.h"
#include "tests/e2e/copied_suite.h"
#include "tests/support/cloud_list_signer.h"
#include "tests/support/file_tree.h"
#include "tests/support/message_box.h"

namespace velmora::test {
namespace {

constexpr DWORD kRunTimeoutMs = 90 * 1000;

enum class Fault { kMissing, kEmpty, kUnsigned, kTampered, kOtherSigner, kLocked };
constexpr Fault kFaults[] = {Fault::kMissing,  Fault::kEmpty,       Fault::kUnsigned,
                             Fault::kTampered, Fault::kOtherSigner, Fault::kLocked};

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kMissing: return "missing";
    case Fault::kEmpty: return "zero bytes";
    case Fault::kUnsigned: return "unsigned";
    case Fault::kTampered: return "tampered";
    case Fault::kOtherSigner: return "other signer";
    case Fault::kLocked: return "locked";
  }
  return "?";
}

// How a healthy component shows that it was used: loaded (load log), started ("<log> started"),
// the shell's side bar ("ui created") or its child process ("child ChromeShell").
enum class Sign { kLoaded, kStarted, kShellUi, kChildShell };
// What the program does without the component.
enum class Outcome { kRuns, kPrompts, kNoSideBar };

struct Component {
  const char* label;
  Root root;
  const wchar_t* path;
  Sign sign;
  const char* log_name;  // the start's log component for kStarted
  Outcome damaged;       // a file that is there but bad
  Outcome missing;
  Root without_root;
  const wchar_t* without;  // removed first: the component is used only without it (null: nothing)
};

// Everything the program loads or starts today. The promotion window's skin libraries, the
// companions' programs and ConfCore.dll are not here: nothing in the program loads or starts them
// yet (ConfCore's check is the trust layer's own-signature rule, tested with the others there).
constexpr Component kComponents[] = {
    {"HostKit", Root::kSuite, L"HostKit.dll", Sign::kLoaded, "", Outcome::kRuns, Outcome::kRuns, Root::kSuite, nullptr},
    {"FaultSink", Root::kSuite, L"FaultSink.dll", Sign::kLoaded, "", Outcome::kRuns, Outcome::kRuns, Root::kSuite, nullptr},
    // The file-trust service lives in BaseCore: without it no suite file passes, so the engine is
    // refused before any login library is looked at.
    {"BaseCore", Root::kSuite, L"BaseCore.dll", Sign::kLoaded, "", Outcome::kNoSideBar, Outcome::kNoSideBar, Root::kSuite,
     nullptr},
    {"NetCore", Root::kSuite, L"NetCore.dll", Sign::kLoaded, "", Outcome::kRuns, Outcome::kRuns, Root::kSuite, nullptr},
    // A login library that is there but fails its check ends the process through the damaged-file
    // prompt (SignOnMgr.dll when the account is read); a missing one is skipped.
    {"SignOn", Root::kSuite, L"SignOn.dll", Sign::kLoaded, "", Outcome::kPrompts, Outcome::kRuns, Root::kSuite, nullptr},
    {"SignOnMgr", Root::kSuite, L"Utils\\SignOnMgr.dll", Sign::kLoaded, "", Outcome::kPrompts, Outcome::kRuns,
     Root::kSuite, nullptr},
    {"AcctClient", Root::kSuite, L"Utils\\AcctClient.dll", Sign::kLoaded, "", Outcome::kRuns, Outcome::kRuns,
     Root::kSuite, nullptr},
    {"ShareStore", Root::kSuite, L"Utils\\ShareStore.dll", Sign::kLoaded, "", Outcome::kRuns, Outcome::kRuns,
     Root::kSuite, nullptr},
    {"SealKit", Root::kSuite, L"Tidy\\SealKit.dll", Sign::kLoaded, "", Outcome::kRuns, Outcome::kRuns, Root::kSuite,
     nullptr},
    // An unusable engine: the side bar waits for the engine installer instead (which finds nothing).
    {"chrome.dll", Root::kEngine, L"chrome.dll", Sign::kShellUi, "", Outcome::kNoSideBar, Outcome::kNoSideBar,
     Root::kSuite, nullptr},
    {"chrome_elf", Root::kEngine, L"chrome_elf.dll", Sign::kLoaded, "", Outcome::kNoSideBar, Outcome::kNoSideBar,
     Root::kSuite, nullptr},
    {"chrome_child", Root::kEngine, L"chrome_child.dll", Sign::kChildShell, "", Outcome::kNoSideBar,
     Outcome::kNoSideBar, Root::kSuite, nullptr},
    // The browser that opens the page's links.
    {"Ravida.exe", Root::kBrowser, L"Ravida.exe", Sign::kStarted, "ravida", Outcome::kRuns, Outcome::kRuns,
     Root::kSuite, nullptr},
    {"GameShell", Root::kSuite, L"AppMgr\\GameShell.exe", Sign::kStarted, "gameshell", Outcome::kNoSideBar,
     Outcome::kNoSideBar, Root::kEngine, L"chrome.dll"},
    {"SnapTool", Root::kSuite, L"Utils\\SnapTool.exe", Sign::kStarted, "snaptool", Outcome::kRuns, Outcome::kRuns,
     Root::kSuite, nullptr},
    {"QuickFind", Root::kSuite, L"AppMgr\\QuickFind\\QuickFind.exe", Sign::kStarted, "quickfind", Outcome::kRuns,
     Outcome::kRuns, Root::kSuite, nullptr},
    {"ModUpdater", Root::kSuite, L"Utils\\ModUpdater.exe", Sign::kStarted, "modupdater", Outcome::kRuns,
     Outcome::kRuns, Root::kSuite, L"AppMgr\\QuickFind\\QuickFind.exe"},
    {"FeedbackTool", Root::kSuite, L"Utils\\FeedbackTool.exe", Sign::kStarted, "feedbacktool", Outcome::kRuns,
     Outcome::kRuns, Root::kSuite, nullptr},
    {"SettingHub", Root::kSuite, L"Monitor\\SettingHub.exe", Sign::kStarted, "settinghub", Outcome::kRuns,
     Outcome::kRuns, Root::kSuite, nullptr},
};

std::string FileName(const wchar_t* path) {
  const std::wstring text(path);
  return WideToUtf8(text.substr(text.find_last_of(L'\\') + 1));
}

// Drops the Authenticode signature: the certificate table's directory entry is cleared and the
// table cut off the end of the file. False when the file is not a PE image.
bool Unsign(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  std::string image((std::istreambuf_iterator<char>(in)), {});
  in.close();
  auto u32 = [&](size_t at) {
    uint32_t value = 0;
    if (at + 4 <= image.size()) memcpy(&value, image.data() + at, 4);
    return value;
  };
  const size_t pe = u32(0x3C);
  if (image.size() < pe + 24 + 2 || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return false;
  const size_t optional = pe + 24;
  const bool pe32_plus = static_cast<unsigned char>(image[optional + 1]) == 0x02;
  const size_t security = optional + (pe32_plus ? 112 : 96) + 4 * 8;
  const uint32_t table = u32(security);
  if (table == 0 || table > image.size()) return false;
  memset(image.data() + security, 0, 8);
  image.resize(table);
  std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << image;
  return true;
}

struct Observed {
  bool finished = false;
  DWORD exit_code = STILL_ACTIVE;
  std::wstring prompt;   // the text of a dialog the program showed; empty: none
  bool side_bar = false;  // the shell made the side bar's user interface
  bool installer = false;  // the engine installer started
  std::vector<LogEntry> log, loads;
};

// Whether the logs show the component used.
bool Used(const Component& component, const Observed& seen) {
  switch (component.sign) {
    case Sign::kLoaded:
      for (const LogEntry& entry : seen.loads) {
        if (EqualsIgnoreAsciiCase(Utf8ToWide(entry.component), Utf8ToWide(FileName(component.path)))) return true;
      }
      return false;
    case Sign::kStarted: return Count(seen.log, component.log_name, "started") > 0;
    case Sign::kShellUi: return seen.side_bar;
    case Sign::kChildShell: return Count(seen.log, "shell", "child ChromeShell") > 0;
  }
  return false;
}

// One suite and browser copy per test; each cell damages one file and puts it back afterwards.
class FaultInjection : public CopiedSuite {
 protected:
  void SetUp() override {
    CopiedSuite::SetUp();
    server_.Route("/main/cdn_client/v1/relations/e",
                  Reply(200, WrapSignedDocument(ToolListDocument(R"([{"sec_time":5,"list":[{"suffix":"pdf"}]}])"))));
    // One page that makes the program use every component it loads or starts on request.
    Page({R"(call Show {"width":300,"height":300})", "wait 800", R"(call getRecommendedTools {"callbackName":"tools"})",
          "signin someone 0 nike_name=Ann|qid=42|real_email=a@b.c|account_type=1|cookie=Q=q1;T=t1;S=s1;", "wait 300",
          R"(call getUserInfo {"callbackName":"user"})", R"(call runTools {"tool":"ScreenCapture"})",
          R"(call runTools {"tool":"QuickFind"})", R"(call FeedBack {"cmd":"--from=sidebar"})",
          R"(call settingsCenter {"param":"/from=sidebar"})",
          R"(call OpenUrl {"callbackName":"u","url":"https://a.test/"})", "child", "wait 800", R"(call Close {})"});
  }

  // Runs the side bar; a dialog it shows is recorded and answered "no".
  Observed Run() {
    ClearLogs();
    Observed seen;
    ScopedHandle process(StartSideBar());
    if (!process) return seen;
    const DWORD id = ::GetProcessId(process.get());
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kRunTimeoutMs) {
      if (::WaitForSingleObject(process.get(), 50) == WAIT_OBJECT_0) {
        seen.finished = true;
        break;
      }
      if (const HWND box = WaitForMessageBox([id] { return id; }, nullptr, 50); box && seen.prompt.empty()) {
        seen.prompt = MessageBoxText(box);
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDNO)));
      }
    }
    if (!seen.finished) ::TerminateProcess(process.get(), 1);
    ::GetExitCodeProcess(process.get(), &seen.exit_code);
    seen.log = Log();
    seen.loads = Loads();
    seen.side_bar = Count(seen.log, "shell", "ui created") > 0;
    seen.installer = Count(seen.log, "gameshell", "started") > 0;
    return seen;
  }

  // Removes (or, after the run, puts back) the file a component needs gone before it is used.
  void Without(const Component& component, bool restore) {
    if (!component.without) return;
    const std::wstring path = Folder(component.without_root) + L"\\" + component.without;
    if (restore) {
      ::CopyFileW((BuiltFolder(component.without_root) + L"\\" + component.without).c_str(), path.c_str(), FALSE);
    } else {
      ::DeleteFileW(path.c_str());
    }
  }

  // Damages the component's file; the returned handle (for kLocked) holds it open without sharing.
  ScopedFileHandle Damage(const Component& component, Fault fault) {
    const std::wstring path = Folder(component.root) + L"\\" + component.path;
    const std::wstring built = BuiltFolder(component.root) + L"\\" + component.path;
    switch (fault) {
      case Fault::kMissing: EXPECT_TRUE(::DeleteFileW(path.c_str())); break;
      case Fault::kEmpty: std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc).close(); break;
      case Fault::kUnsigned: EXPECT_TRUE(Unsign(path)); break;
      case Fault::kTampered: FlipMiddleByte(path); break;
      case Fault::kOtherSigner: {
        const size_t dot = built.find_last_of(L'.');
        EXPECT_TRUE(::CopyFileW((built.substr(0, dot) + L"_other" + built.substr(dot)).c_str(), path.c_str(), FALSE));
        break;
      }
      case Fault::kLocked: {
        ScopedFileHandle lock(::CreateFileW(path.c_str(), GENERIC_READ, /*share=*/0, nullptr, OPEN_EXISTING, 0, nullptr));
        EXPECT_TRUE(lock);
        return lock;
      }
    }
    return ScopedFileHandle();
  }

  void Restore(const Component& component) {
    const std::wstring path = Folder(component.root) + L"\\" + component.path;
    ASSERT_TRUE(::CopyFileW((BuiltFolder(component.root) + L"\\" + component.path).c_str(), path.c_str(), FALSE))
        << component.label;
  }

};

std::string Describe(const Observed& seen) {
  std::string text;
  if (!seen.prompt.empty()) {
    // The prompt names the damaged file's path on a line of its own.
    const std::wstring::size_type name = seen.prompt.rfind(L'\\') + 1;
    const std::wstring::size_type end = seen.prompt.find(L'\n', name);
    text = "damaged-library prompt for " + WideToUtf8(seen.prompt.substr(name, end - name)) + ", answered no; ";
  }
  if (seen.side_bar) {
    text += "side bar ran";
  } else {
    text += seen.installer ? "no side bar (engine installer started)" : "no side bar";
  }
  text += seen.finished ? ", exit " + std::to_string(seen.exit_code) : ", still running";
  return text;
}

// A healthy copy: every component shows that it was used, which is what makes its faults visible.
// One run covers the components used in every start; each of the others gets a run of its own.
TEST_F(FaultInjection, HealthyRunsUseEveryComponent) {
  const Observed plain = Run();
  EXPECT_TRUE(plain.finished);
  EXPECT_EQ(plain.exit_code, 0u);
  EXPECT_TRUE(plain.prompt.empty()) << WideToUtf8(plain.prompt);
  for (const Component& component : kComponents) {
    SCOPED_TRACE(component.label);
    if (!component.without) {
      EXPECT_TRUE(Used(component, plain)) << "the healthy component was not used";
      continue;
    }
    Without(component, false);
    const Observed seen = Run();
    Without(component, true);
    EXPECT_EQ(seen.exit_code, 0u);
    EXPECT_TRUE(seen.prompt.empty()) << WideToUtf8(seen.prompt);
    EXPECT_TRUE(Used(component, seen)) << "the healthy component was not used";
  }
}

class FaultInjectionByKind : public FaultInjection, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultInjectionByKind, TheDamagedFileIsNeverUsedAndTheProgramGoesOn) {
  const Fault fault = GetParam();
  for (const Component& component : kComponents) {
    SCOPED_TRACE(std::string(component.label) + " " + FaultName(fault));
    Without(component, false);
    Observed seen;
    {
      const ScopedFileHandle lock = Damage(component, fault);
      seen = Run();
    }
    Restore(component);
    Without(component, true);
    std::printf("fault-table | %-12s | %-12s | %s%s\n", component.label, FaultName(fault), Describe(seen).c_str(),
                Used(component, seen) ? "; THE FILE WAS USED" : "; not loaded or started");

    EXPECT_TRUE(seen.finished);
    EXPECT_EQ(seen.exit_code, 0u);
    EXPECT_FALSE(Used(component, seen)) << "the damaged file was loaded or started";
    const Outcome expected = fault == Fault::kMissing ? component.missing : component.damaged;
    if (expected == Outcome::kPrompts) {
      EXPECT_NE(seen.prompt.find(Utf8ToWide(FileName(component.path))), std::wstring::npos) << WideToUtf8(seen.prompt);
    } else {
      EXPECT_TRUE(seen.prompt.empty()) << WideToUtf8(seen.prompt);
      EXPECT_EQ(seen.side_bar, expected == Outcome::kRuns);
    }
  }
}

std::string FaultTestName(const ::testing::TestParamInfo<Fault>& fault) {
  std::string name = FaultName(fault.param);
  std::replace(name.begin(), name.end(), ' ', '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultInjectionByKind, ::testing::ValuesIn(kFaults), FaultTestName);

}  // namespace
}  // namespace velmora::test
