#include "platform/trust.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/launch.h"
#include "platform/module_path.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"
#include "platform/scoped_handle.h"
#include "platform/system_functions.h"
#include "platform/text.h"
#include "tests/support/file_tree.h"
#include "tests/support/redirection_watch.h"
#include "tests/support/registry_backup.h"
#include "tests/support/registry_values.h"

namespace velmora {
namespace {

using Calls = std::vector<std::pair<char, std::wstring>>;  // 'o' own signature, 's' trust service

// Fake verifiers: they log what they are asked and give the answers a test sets.
struct Verifiers {
  static inline Calls calls;
  static inline bool own_answer = true;
  static inline std::optional<int> service_answer = 1;
  static bool Own(const std::wstring& path, HANDLE) {
    calls.emplace_back('o', path);
    return own_answer;
  }
  static inline void (*during_check)() = nullptr;  // runs inside the service's answer
  static std::optional<int> Service(const std::wstring& path) {
    calls.emplace_back('s', path);
    if (during_check) during_check();
    return service_answer;
  }
};

class TrustTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Verifiers::calls.clear();
    Verifiers::own_answer = true;
    Verifiers::service_answer = 1;
    Verifiers::during_check = nullptr;
    SetTrustVerifiers(&Verifiers::Own, &Verifiers::Service);
  }
  void TearDown() override {
    SetTrustVerifiers(nullptr, nullptr);
    SetCurrentDirectoryW(ParentFolder(GetModulePath(nullptr)).c_str());
  }
  // Creates the folder `relative` (ending in "\") or the empty file `relative` inside the test folder.
  std::wstring Make(const std::wstring& relative) {
    const std::wstring path = folder_ / relative;
    test::CreateFolders(path);
    if (path.back() != L'\\') {
      EXPECT_TRUE(test::WriteAll(path, "")) << path;
    }
    return path;
  }

  test::TempFolder folder_{L"VelmoraTrust"};
  const std::wstring root_ = folder_.path();
};

TEST(PathInsideFolder, AsciiOnlyPrefixFollowedBySeparator) {
  const struct { const wchar_t* folder; const wchar_t* path; bool inside; } cases[] = {
      {L"C:\\Suite", L"c:\\SUITE\\a.dll", true},
      {L"C:\\Suite", L"C:\\Suite/a.dll", true},
      {L"C:", L"C:\\a.dll", true},
      {L"C:\\Suite", L"C:\\SuiteX\\a.dll", false},  // a longer folder name sharing the prefix
      {L"C:\\Suite", L"C:\\Suite", false},
      {L"C:\\\u00dcber", L"C:\\\u00dcber\\a.dll", true},
      {L"C:\\\u00fcber", L"C:\\\u00dcber\\a.dll", false},  // differs only in the case of a non-ASCII letter
      {L"C:\\Kit", L"C:\\\u212Ait\\a.dll", false},         // KELVIN SIGN folds to "k" outside ASCII
      {L"", L"\\a.dll", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPathInsideFolderAscii(c.folder, c.path), c.inside) << c.folder << " " << c.path;
  }
}

TEST_F(TrustTest, TrustServiceClassDecidesForAbsolutePathsOnly) {
  const std::wstring file = Make(L"Suite\\a.dll");
  // No self-protection device here: a file inside the suite folder still goes to the service.
  EXPECT_FALSE(IsUnderSelfProtection());
  EXPECT_FALSE(IsVouchedForBySelfProtection(file, root_ + L"\\Suite"));
  for (const auto& [answer, trusted] : {std::pair{std::optional<int>(), false}, {std::optional<int>(3), false},
                                        {std::optional<int>(0), true}, {std::optional<int>(1), true}}) {
    Verifiers::calls.clear();
    Verifiers::service_answer = answer;
    EXPECT_EQ(IsTrustedFile(file), trusted) << answer.value_or(-1);
    // Elevated, a trusted file outside the administrators' folders goes to our own check as well.
    const Calls expected = trusted && IsProcessElevated() ? Calls{{'s', file}, {'o', file}} : Calls{{'s', file}};
    EXPECT_EQ(Verifiers::calls, expected);
  }

  Verifiers::service_answer = 1;
  Verifiers::calls.clear();
  SetCurrentDirectoryW((root_ + L"\\Suite").c_str());  // the relative names lead to a real file
  for (const wchar_t* relative : {L"a.dll", L".\\a.dll", L"..\\Suite\\a.dll", L""}) {
    EXPECT_FALSE(IsTrustedFile(relative)) << relative;
  }
  RuntimeConfig config;
  config.known_dlls.push_back({L"NetCore.dll", {L"a.dll"}});
  EXPECT_EQ(LocateCoreLibraryWith(L"NetCore.dll", config, L"", nullptr), kCoreLibraryNotVerified);
  EXPECT_TRUE(Verifiers::calls.empty());

  SetTrustVerifiers(nullptr, nullptr);  // the defaults refuse everything
  EXPECT_FALSE(IsTrustedFile(file));
  Make(L"Suite\\BaseCore.dll");
  for (const wchar_t* name : {L"BaseCore.dll", L"a.dll"}) {
    EXPECT_EQ(LocateCoreLibraryWith(name, {}, root_ + L"\\Suite", nullptr), kCoreLibraryNotVerified) << name;
  }
}

TEST_F(TrustTest, TrustedLoaderLoadsOnlyWhatPasses) {
  const std::wstring system_library = SystemFolderFile(L"msimg32.dll");
  if (GetModuleHandleW(L"msimg32.dll")) GTEST_SKIP() << "msimg32.dll is already loaded";
  Verifiers::service_answer = kUntrustedFileClass;
  EXPECT_EQ(LoadTrustedLibrary(system_library).get(), nullptr);
  Verifiers::service_answer = 1;
  EXPECT_EQ(LoadTrustedLibrary(L"msimg32.dll").get(), nullptr);  // relative, though the search order would find it
  EXPECT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);
  {
    const ScopedLibrary loaded(LoadTrustedLibrary(system_library));
    ASSERT_TRUE(loaded);
    // A loaded module is found in the process, and the reference taken to ask is given back.
    std::wstring path;
    EXPECT_EQ(LocateCoreLibraryWith(L"MSIMG32.DLL", {}, L"", &path), kCoreLibraryFound);
    // The file loaded is the one the process opens for that path (in SysWOW64 for a 32-bit one).
    EXPECT_TRUE(EqualsIgnoreAsciiCase(path, test::OpenedSystemFile(L"msimg32.dll"))) << path;
  }
  EXPECT_EQ(GetModuleHandleW(L"msimg32.dll"), nullptr);
}

TEST_F(TrustTest, SearchOrderLoadedThenKnownThenDefaultDirectoriesThenSuiteFolder) {
  const std::wstring known = Make(L"Known\\NetCore.dll"), first_dir = Make(L"DirA\\NetCore.dll"),
                     second_dir = Make(L"DirB\\NetCore.dll"), in_suite = Make(L"Suite\\NetCore.dll"),
                     kernel = GetModulePath(GetModuleHandleW(L"kernel32.dll")), empty_dir = Make(L"Empty\\");
  const std::wstring missing = root_ + L"\\Missing\\NetCore.dll", suite = root_ + L"\\Suite";
  const KnownDll entry = {L"NetCore.dll", {missing, known}};
  const std::vector<std::wstring> dirs = {empty_dir, root_ + L"\\DirA\\", root_ + L"\\DirB\\"};
  // Long folders: joined with "\NetCore.dll" (12 characters) they give 512 and 511 characters.
  std::wstring too_long = root_ + L"\\g", fits = root_ + L"\\f";
  for (auto* folder : {&too_long, &fits}) {
    for (size_t left; (left = 512 - (folder == &fits) - 12 - folder->size()) > 0;) {
      *folder += L'\\' + std::wstring(left <= 151 ? left - 1 : 100, L'd');
    }
    Make(folder->substr(root_.size() + 1) + L"\\NetCore.dll");
    *folder += L'\\';
  }

  const struct {
    const char* what;
    std::wstring name;
    std::vector<KnownDll> known_dlls;
    std::vector<std::wstring> dirs;
    std::wstring suite;
    DWORD result;
    std::wstring path;
    std::wstring judged = {};  // the file the verifier is asked about, when not `path`
  } cases[] = {
      // A 32-bit process opens the 32-bit twin of a system folder file: that one is judged.
      {"loaded module first", L"kernel32.dll", {{L"kernel32.dll", {known}}}, dirs, suite, 0, kernel,
       test::OpenedSystemFile(L"kernel32.dll")},
      {"known: first existing candidate", L"NetCore.dll", {entry}, dirs, suite, 0, known},
      {"known: name without regard to case", L"netcore.DLL", {entry}, dirs, suite, 0, known},
      {"known: every entry of the name", L"NetCore.dll", {{L"NetCore.dll", {missing}}, entry}, {}, L"", 0, known},
      {"known: other names not consulted", L"NetCore.dll",
       {{L"NetCore.dl", {known}}, {L"NetCore.dll2", {known}}, {L"\\NetCore.dll", {known}}}, dirs, suite, 0,
       first_dir},
      {"first directory holding the file", L"NetCore.dll", {{L"NetCore.dll", {missing}}},
       {empty_dir, root_ + L"\\DirB\\"}, suite, 0, second_dir},
      {"joined paths under 512 characters", L"NetCore.dll", {}, {too_long, fits}, L"", 0, fits + L"NetCore.dll"},
      {"suite folder last", L"NetCore.dll", {}, {empty_dir}, suite, 0, in_suite},
      {"suite folder, separators skipped", L"\\/NetCore.dll", {}, {}, suite + L"\\", 0, in_suite},
      {"missing everywhere", L"NetCore.dll", {}, {empty_dir}, L"", 2, L""},
      {"missing in the suite folder", L"Other.dll", {}, {empty_dir}, suite, 2, L""},
      {"no name", L"\\", {}, {}, suite, 2, L""},
  };
  for (const auto& c : cases) {
    RuntimeConfig config;
    config.known_dlls = c.known_dlls;
    config.default_dll_directories = c.dirs;
    std::wstring path = L"stale";
    Verifiers::calls.clear();
    EXPECT_EQ(LocateCoreLibraryWith(c.name, config, c.suite, &path), c.result) << c.what;
    EXPECT_EQ(path, c.path) << c.what;
    const std::wstring& judged = c.judged.empty() ? c.path : c.judged;
    EXPECT_EQ(Verifiers::calls, (c.result == 0 ? Calls{{'s', judged}} : Calls{})) << c.what;
  }
}

TEST_F(TrustTest, EachCoreLibraryGoesToItsVerifier) {
  const std::wstring suite = root_ + L"\\Suite";
  const struct { const wchar_t* name; char verifier; } libraries[] = {
      {L"BaseCore.dll", 'o'}, {L"ConfCore.dll", 'o'}, {L"HostKit.dll", 'o'},
      {L"hostkit.DLL", 'o'},  {L"NetCore.dll", 's'},  {L"Other.dll", 's'}};
  for (const auto& library : libraries) {
    const std::wstring file = Make(L"Suite\\" + std::wstring(library.name));
    for (const bool own_accepts : {true, false}) {  // only one verifier accepts: the answer shows which decided
      Verifiers::calls.clear();
      Verifiers::own_answer = own_accepts;
      Verifiers::service_answer = own_accepts ? kUntrustedFileClass : 1;
      std::wstring path;
      EXPECT_EQ(LocateCoreLibraryWith(library.name, {}, suite, &path),
                ((library.verifier == 'o') == own_accepts) ? kCoreLibraryFound : kCoreLibraryNotVerified)
          << library.name;
      EXPECT_EQ(path, file);  // kept on refusal too, for the caller to report
      EXPECT_EQ(Verifiers::calls, (Calls{{library.verifier, file}})) << library.name;
    }
  }
}

// An elevated process (every process under Wine) also holds to our own signature a file the user
// may have placed or named; the system folder is the administrators' and needs the trust class only.
TEST_F(TrustTest, AnElevatedProcessAlsoNeedsOurSignatureOutsideTheAdministratorsFolders) {
  ASSERT_TRUE(IsProcessElevated()) << "the tests run elevated, as every process does under Wine";
  const std::wstring user_file = Make(L"Profile\\chrome.dll"), system_file = SystemFolderFile(L"msimg32.dll");
  const struct {
    bool own_answer;
    std::wstring path;
    bool trusted;
    Calls calls;
  } cases[] = {{true, user_file, true, {{'s', user_file}, {'o', user_file}}},
               {false, user_file, false, {{'s', user_file}, {'o', user_file}}},
               {false, system_file, true, {{'s', system_file}}}};
  for (const auto& c : cases) {
    Verifiers::own_answer = c.own_answer;
    Verifiers::calls.clear();
    EXPECT_EQ(IsTrustedFile(c.path), c.trusted) << WideToUtf8(c.path);
    EXPECT_EQ(Verifiers::calls, c.calls) << WideToUtf8(c.path);
    EXPECT_EQ(HoldTrustedFile(c.path, /*to_start=*/false).has_value(), c.trusted) << WideToUtf8(c.path);
  }
}

// Between the check and the use, another thread tries to put a different file in place, move the
// checked one away, or write to it: the file is held, so every attempt fails and what is loaded or
// started is what was checked.
TEST_F(TrustTest, CheckedFileCannotBeSwappedBeforeItsUse) {
  static std::wstring target, decoy;
  static int swaps;
  const std::wstring tests = ParentFolder(GetModulePath(nullptr));
  const struct {
    const char* what;
    const wchar_t* file;
    const wchar_t* other;
    bool (*use)(const std::wstring&);
  } cases[] = {
      {"load", L"engine_probe_13_1_1001_0.dll", L"engine_probe_10_0_1214_9.dll",
       [](const std::wstring& path) { return static_cast<bool>(LoadTrustedLibrary(path)); }},
      {"start", L"version_probe.exe", L"old_probe.exe",
       [](const std::wstring& path) { return LaunchFile(path, L""); }},
  };
  for (const auto& c : cases) {
    target = root_ + L"\\Held\\" + c.file;
    decoy = root_ + L"\\" + c.other;
    CreateDirectoryW((root_ + L"\\Held").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW((tests + L"\\" + c.file).c_str(), target.c_str(), FALSE)) << c.what;
    ASSERT_TRUE(CopyFileW((tests + L"\\" + c.other).c_str(), decoy.c_str(), FALSE)) << c.what;
    swaps = 0;
    Verifiers::during_check = [] {
      std::thread([] {
        swaps += MoveFileExW(decoy.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        swaps += MoveFileExW(target.c_str(), (target + L".moved").c_str(), 0) != FALSE;
        swaps += MoveFileExW((ParentFolder(target)).c_str(), (ParentFolder(target) + L"2").c_str(), 0) != FALSE;
        swaps += DeleteFileW(target.c_str()) != FALSE;
        ScopedFileHandle writer(
            CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        swaps += static_cast<bool>(writer);
      }).join();
    };
    EXPECT_TRUE(c.use(target)) << c.what;
    EXPECT_EQ(swaps, 0) << c.what;
    Verifiers::during_check = nullptr;
    // A started program keeps its file until it ends: wait for that, so the folder can go.
    for (int tries = 0; tries < 200 && !DeleteFileW(target.c_str()); ++tries) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) break;
      Sleep(50);
    }
  }
}

// The delay-import helper is handed each delay-loaded library from the system folder by full
// path; what it does at other notices, and for a name the system folder lacks, is its own.
TEST(LoadDelayedLibrary, GivesTheSystemFoldersFileAtThePreLoadNoticeOnly) {
  DelayLoadInfo info{};
  info.cb = sizeof(info);
  info.szDll = "version.dll";
  const ScopedLibrary loaded(reinterpret_cast<HMODULE>(LoadDelayedLibrary(dliNotePreLoadLibrary, &info)));
  ASSERT_TRUE(loaded);
  EXPECT_TRUE(PathEqualsIgnoreCase(GetModulePath(loaded.get()), SystemFolderFile(L"version.dll")));
  for (const unsigned notice : {dliStartProcessing, dliNotePreGetProcAddress, dliFailLoadLib, dliNoteEndProcessing}) {
    EXPECT_EQ(LoadDelayedLibrary(notice, &info), nullptr) << notice;
  }
  info.szDll = "VelmoraNoSuchLibrary.dll";
  EXPECT_EQ(LoadDelayedLibrary(dliNotePreLoadLibrary, &info), nullptr);
}

TEST_F(TrustTest, ProcessWideLocateUsesTheProcess) {
  std::wstring path;
  EXPECT_EQ(LocateCoreLibrary(L"kernel32.dll", &path), kCoreLibraryFound);
  EXPECT_EQ(path, GetModulePath(GetModuleHandleW(L"kernel32.dll")));
  EXPECT_EQ(LocateCoreLibrary(L"VelmoraNoSuchCore.dll", &path), kCoreLibraryNotFound);
  EXPECT_EQ(path, L"");
}

// HKLM "...\\App Paths\\Guardian.exe" value "Path" taken away for a test, and put back afterwards.
class SuiteFolderForTrustTest : public ::testing::Test {
 protected:
  static constexpr wchar_t kKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe";
  void SetUp() override { RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kKey, L"Path"); }
  test::ScopedRegistryBackup backup_{HKEY_LOCAL_MACHINE, kKey};
};

TEST_F(SuiteFolderForTrustTest, CanonicalWithoutTrailingSeparators) {
  EXPECT_EQ(ReadSuiteFolderForTrust(), L"");
  const std::wstring longest = L"C:\\" + std::wstring(254, L'p');  // 257 characters: 516 bytes with the terminator
  const struct { DWORD type; std::wstring value, expected; } cases[] = {
      {REG_SZ, L"C:\\Suite\\/\\", L"C:\\Suite"},
      {REG_EXPAND_SZ, L"C:\\a\\..\\Suite\\.\\Utils", L"C:\\Suite\\Utils"},
      {REG_SZ, L"C:\\", L"C:"},
      {REG_SZ, longest, longest},
      {REG_SZ, longest + L"p", L""},
      {REG_SZ, L"", L""},
      {REG_BINARY, L"C:\\Suite", L""},
  };
  for (const auto& c : cases) {
    test::SetRegistryText(HKEY_LOCAL_MACHINE, kKey, L"Path", c.value, c.type);
    EXPECT_EQ(ReadSuiteFolderForTrust(), c.expected) << c.value;
  }
}

}  // namespace
}  // namespace velmora
