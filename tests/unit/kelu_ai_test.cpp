#include "companions/kelu_ai.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "companions/inherit_launch.h"
#include "platform/module_path.h"
#include "platform/module_signature.h"
#include "platform/path_text.h"
#include "platform/text.h"
#include "platform/trust.h"
#include "tests/e2e/child_process.h"
#include "tests/support/child_processes.h"
#include "tests/support/handle_count.h"
#include "tests/support/registry_backup.h"
#include "tests/support/signature_trust.h"

namespace velmora {
namespace {

using test::LogEntry;
using Paths = std::vector<std::wstring>;

std::wstring Buffer(std::wstring_view text) { return std::wstring(text) + std::wstring(8, L'\0'); }

TEST(AcceptedUploadPaths, FollowTheFolderAndNamesRuleAndDropWhatMayNotGo) {
  const Paths none;
  const struct {
    const char* label;
    std::wstring buffer;
    size_t offset;
    Paths exclusions;
    Paths accepted;
  } cases[] = {
      {"one file", Buffer(L"C:\\d\\a.txt"), 5, none, {L"C:\\d\\a.txt"}},
      {"one file at a root", Buffer(L"C:\\a.txt"), 3, none, {L"C:\\a.txt"}},
      {"several", Buffer(std::wstring(L"C:\\d\0a.txt\0b.PDF\0", 17)), 5, none, {L"C:\\d\\a.txt", L"C:\\d\\b.PDF"}},
      {"several at a root", Buffer(std::wstring(L"C:\\\0a.txt\0b.doc\0", 16)), 4, none, {L"C:\\a.txt", L"C:\\b.doc"}},
      {"no extension, empty list", Buffer(std::wstring(L"C:\\d\0Makefile\0a.b\\c\0", 21)), 5, none, {}},
      {"dotted folder, bare name", Buffer(L"C:\\d.x\\readme"), 7, none, {}},
      {"excluded exactly", Buffer(std::wstring(L"C:\\d\0a.exe\0b.EXE\0c.ex\0", 22)), 5, {L".exe"},
       {L"C:\\d\\b.EXE", L"C:\\d\\c.ex"}},
      {"only excluded", Buffer(std::wstring(L"C:\\d\0a.exe\0b.dll\0", 17)), 5, {L".exe", L".dll"}, {}},
      {"namespace item", Buffer(L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}\\x.txt"), 41, none, {}},
      {"offset 0", Buffer(L"C:\\d\\a.txt"), 0, none, {}},
      {"offset past the end", Buffer(L"C:\\d\\a.txt"), 400, none, {}},
      {"no empty name at the end", std::wstring(L"C:\\d\0a.txt\0b.txt", 16), 5, none, {}},
      {"empty folder", Buffer(std::wstring(L"\0a.txt\0", 7)), 1, none, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AcceptedUploadPaths(c.buffer, c.offset, c.exclusions), c.accepted) << c.label;
  }
}

TEST(AssistantHandOffText, ArgumentsCarryAHexHandleAndADecimalLengthAndTheDocumentIsCompact) {
  const struct {
    ULONG_PTR handle;
    size_t length;
    const wchar_t* arguments;
  } cases[] = {{0x1C4, 183, L"--cmd=desktoplite --filemaphandle=0x1C4,183"},
               {0xABCDEF, 10, L"--cmd=desktoplite --filemaphandle=0xABCDEF,10"},
               {4, 4294967295u, L"--cmd=desktoplite --filemaphandle=0x4,4294967295"}};
  for (const auto& c : cases) {
    EXPECT_EQ(AssistantArguments(reinterpret_cast<HANDLE>(c.handle), c.length), c.arguments);
  }
  EXPECT_EQ(AssistantDocument({L"C:\\d\\\u62A5\u544A.txt", L"D:\\\"q\".md"}),
            "{\"Content\":[\"C:\\\\d\\\\\\u62a5\\u544a.txt\",\"D:\\\\\\\"q\\\".md\"],\"ContentType\":\"paths\","
            "\"launcherid\":\"desktoplite\",\"positionid\":\"desktoplite_btn\",\"type\":\"AddToKnowledge\"}\n");
}

class KeluAITest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTrustVerifiers(&VerifyModuleSignature, &test::TrustClassBySignature);
    ASSERT_FALSE(temp_.path().empty());
    app_ = temp_.path() + L"\\keluai\\Application";
    for (const std::wstring& folder : {temp_.path() + L"\\keluai", app_, temp_.path() + L"\\files"}) {
      ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    log_ = temp_.path() + L"\\standins.log";
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", log_.c_str());
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_KELU_PROBE_HANDLE", nullptr);
  }

  static std::wstring Built(const std::wstring& relative) {
    return ParentFolder(ParentFolder(GetModulePath(nullptr))) + L"\\" + relative;
  }
  static void SetValue(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(handle);
  }
  // Installs the current assistant and names it in the client state.
  void Install() {
    ASSERT_TRUE(::CopyFileW(Built(L"suite\\keluai\\Application\\keluai.exe").c_str(), (app_ + L"\\keluai.exe").c_str(),
                            FALSE));
    SetValue(kAssistantClientStateKey, L"UninstallString", app_ + L"\\1.3.1120.64\\Installer\\setup.exe");
  }
  std::wstring File(const wchar_t* name) {
    const std::wstring path = temp_.path() + L"\\files\\" + name;
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ::CloseHandle(file);
    return path;
  }
  std::vector<LogEntry> WaitForLog(const std::string& text, size_t count) {
    std::vector<LogEntry> log;
    for (int i = 0; i < 400; ++i) {
      log = test::ReadLog(log_);
      if (test::Count(log, "keluai", text) >= count) break;
      ::Sleep(50);
    }
    return log;
  }
  static DWORD Handles() { return test::OpenHandleCount(); }
  static std::vector<std::string> Documents(const std::vector<LogEntry>& log) {
    std::vector<std::string> documents;
    for (const LogEntry& entry : log) {
      if (entry.component == "keluai" && entry.text.rfind("document ", 0) == 0) documents.push_back(entry.text);
    }
    return documents;
  }

  test::ScopedTempFolder temp_;
  test::ScopedRegistryBackup client_state_{HKEY_CURRENT_USER, kAssistantClientStateKey};
  test::ScopedRegistryBackup uninstall_{HKEY_CURRENT_USER, kAssistantUninstallKey};
  std::wstring app_, log_;
  std::optional<UploadSelection> next_;
  int shown_ = 0;
  std::vector<std::wstring> exclusions_;
  CKeluAIMgr manager_{[this] { return exclusions_; },
                      [this](HWND) {
                        ++shown_;
                        return next_;
                      }};
};

TEST_F(KeluAITest, TheAssistantIsFoundBesideItsUninstallerOrByItsIconAndMustBeRecentAndSigned) {
  const std::wstring current = Built(L"suite\\keluai\\Application\\keluai.exe");
  const std::wstring old = Built(L"standin-variants\\keluai-1.3.1120.63\\keluai.exe");
  const std::wstring unsigned_probe = ParentFolder(GetModulePath(nullptr)) + L"\\version_probe.exe";
  const std::wstring beside = app_ + L"\\keluai.exe";
  const std::wstring uninstaller = app_ + L"\\1.3.1120.64\\Installer\\setup.exe";
  const struct {
    const char* label;
    std::wstring placed;     // copied to keluai\Application\keluai.exe; empty: nothing there
    std::wstring uninstall;  // empty: no value
    std::wstring icon;
    std::wstring located;
    bool ready;
  } cases[] = {
      {"beside the uninstaller", current, uninstaller, L"", beside, true},
      {"uninstaller wins over the icon", current, uninstaller, old, beside, true},
      {"by its icon", L"", uninstaller, current, current, true},
      {"too old", old, uninstaller, L"", beside, false},
      {"unsigned beside, icon missing", unsigned_probe, uninstaller, temp_.path() + L"\\none.exe", L"", false},
      {"too few folders to climb", L"", L"setup.exe", current, current, true},
      {"nothing registered", current, L"", L"", L"", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    ::DeleteFileW(beside.c_str());
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAssistantClientStateKey);
    ::RegDeleteTreeW(HKEY_CURRENT_USER, kAssistantUninstallKey);
    if (!c.placed.empty()) {
      ASSERT_TRUE(::CopyFileW(c.placed.c_str(), beside.c_str(), FALSE));
    }
    if (!c.uninstall.empty()) SetValue(kAssistantClientStateKey, L"UninstallString", c.uninstall);
    if (!c.icon.empty()) SetValue(kAssistantUninstallKey, L"DisplayIcon", c.icon);
    EXPECT_EQ(manager_.LocateAssistant(), !c.located.empty());
    EXPECT_EQ(manager_.assistant_path(), c.located);
    EXPECT_EQ(manager_.IsAssistantReady(), c.ready);
  }
}

TEST_F(KeluAITest, OnlyAcceptedFilesAreHandedOverAndFailuresLeaveNothingBehind) {
  Install();
  const std::wstring a = File(L"a.txt"), b = File(L"b.exe"), bare = File(L"Makefile");
  const std::wstring folder = temp_.path() + L"\\files";
  const auto several = [&](std::initializer_list<std::wstring> names) {
    std::wstring buffer = folder + L'\0';
    for (const std::wstring& name : names) buffer += name + L'\0';
    return UploadSelection{buffer + L'\0', folder.size() + 1};
  };
  const std::string folder_json = [&] {
    std::string text = WideToUtf8(folder);
    for (size_t at = text.find('\\'); at != std::string::npos; at = text.find('\\', at + 2)) text.insert(at, "\\");
    return text;
  }();
  const struct {
    const char* label;
    std::optional<UploadSelection> selection;
    bool installed;
    std::string content;  // the document's Content; empty: nothing handed over
  } cases[] = {
      {"one file", UploadSelection{a + L'\0' + L'\0', folder.size() + 1}, true, "[\"" + folder_json + "\\\\a.txt\"]"},
      {"several, excluded dropped", several({L"a.txt", L"b.exe", L"Makefile"}), true,
       "[\"" + folder_json + "\\\\a.txt\"]"},
      {"bare name only", several({L"Makefile"}), true, ""},
      {"excluded only", several({L"b.exe"}), true, ""},
      {"cancelled", std::nullopt, true, ""},
      {"malformed selection", UploadSelection{std::wstring(5000, L'x'), 3}, true, ""},
      {"no assistant", several({L"a.txt"}), false, ""},
  };
  exclusions_ = {L".exe"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (!c.installed) ::RegDeleteTreeW(HKEY_CURRENT_USER, kAssistantClientStateKey);
    ::DeleteFileW(log_.c_str());
    next_ = c.selection;
    shown_ = 0;
    const DWORD before = Handles();
    const auto children = test::RunningChildren();
    const bool handed = manager_.ChooseAndSendFiles(nullptr);
    EXPECT_EQ(shown_, c.installed ? 1 : 0);
    EXPECT_EQ(handed, !c.content.empty());
    if (c.content.empty()) {
      EXPECT_EQ(Handles(), before);
      EXPECT_TRUE(test::ChildrenStartedSince(children).empty());
      EXPECT_TRUE(test::ReadLog(log_).empty());
      continue;
    }
    const std::vector<std::string> documents = Documents(WaitForLog("document ", 1));
    ASSERT_EQ(documents.size(), 1u);
    EXPECT_NE(documents[0].find("{\"Content\":" + c.content + ",\"ContentType\":\"paths\""), std::string::npos)
        << documents[0];
  }
}

// Only the system's refusal of the handle list lets a start fall back to inheriting every
// inheritable handle: a start that failed for its own reasons is not tried again that way.
TEST(InheritLaunch, OnlyARefusedHandleListFallsBackToInheritingEverything) {
  const std::pair<DWORD, bool> cases[] = {
      {ERROR_INVALID_PARAMETER, true}, {ERROR_NOT_SUPPORTED, true},      {ERROR_ACCESS_DENIED, false},
      {ERROR_FILE_NOT_FOUND, false},   {ERROR_BAD_EXE_FORMAT, false},    {740 /* elevation required */, false},
      {ERROR_NOT_ENOUGH_MEMORY, false}};
  for (const auto& [error, refusal] : cases) EXPECT_EQ(IsHandleListRefusal(error), refusal) << error;
}

TEST_F(KeluAITest, EachHandOffReplacesTheLastSectionWhichOnlyTheAssistantInherits) {
  Install();
  ASSERT_TRUE(manager_.IsAssistantReady());
  // An inheritable handle of ours that the assistant must not receive.
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  const HANDLE decoy = ::CreateEventW(&inheritable, TRUE, FALSE, nullptr);
  ASSERT_NE(decoy, nullptr);
  ::SetEnvironmentVariableW(L"VELMORA_KELU_PROBE_HANDLE",
                            FormatW(L"0x%X", static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(decoy))).c_str());

  const DWORD before = Handles();
  ASSERT_TRUE(manager_.SendFilesToAssistant({File(L"one.txt")}));
  std::vector<LogEntry> log = WaitForLog("document ", 1);
  const DWORD after_first = Handles();
  EXPECT_EQ(after_first, before + 1);  // the section stays open for the assistant
  ASSERT_TRUE(manager_.SendFilesToAssistant({File(L"two.txt"), File(L"three.txt")}));
  log = WaitForLog("document ", 2);
  EXPECT_EQ(Handles(), after_first);  // the first section was closed for the second

  const std::vector<std::string> documents = Documents(log);
  ASSERT_EQ(documents.size(), 2u);
  EXPECT_NE(documents[0].find("one.txt\"]"), std::string::npos);
  EXPECT_NE(documents[1].find("two.txt\",\""), std::string::npos);
  std::vector<std::string> arguments;
  for (const LogEntry& entry : log) {
    if (entry.component == "keluai" && entry.text.rfind("started ", 0) == 0) arguments.push_back(entry.text);
  }
  ASSERT_EQ(arguments.size(), 2u);
  const std::regex shape("started \"[^\"]+keluai\\.exe\" --cmd=desktoplite --filemaphandle=0x[0-9A-F]+,([0-9]+)");
  for (size_t i = 0; i < 2; ++i) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(arguments[i], match, shape)) << arguments[i];
    EXPECT_NE(documents[i].find("document bytes=" + match[1].str() + " lf=1 {"), std::string::npos);
  }
  EXPECT_EQ(test::Count(log, "keluai", "probe=closed"), 2u);
  EXPECT_EQ(test::Count(log, "keluai", "probe=open"), 0u);

  // Another child started with inheritance afterwards does not get the open section.
  ::DeleteFileW(log_.c_str());
  const std::string started = arguments[1];
  std::wstring command = L"\"" + app_ + L"\\keluai.exe\" " + Utf8ToWide(started.substr(started.find(" --") + 1));
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, /*bInheritHandles=*/TRUE, 0, nullptr, nullptr,
                               &startup, &info));
  ::WaitForSingleObject(info.hProcess, 30000);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  EXPECT_EQ(test::Count(test::ReadLog(log_), "keluai", "unreadable"), 1u);
  ::CloseHandle(decoy);
}

}  // namespace
}  // namespace velmora
