// The commonly used items: the record rules, the reply's lists, and the scans of real registry
// values, shortcuts and documents made by each test in its own key and folders.
#include <windows.h>

#include <gtest/gtest.h>

#include <json/reader.h>
#include <json/value.h>

#include <set>

#include "platform/text.h"
#include "providers/common_used.h"
#include "providers/used_item_scan.h"
#include "providers/used_items.h"
#include "platform/module_path.h"
#include "tests/support/redirection_watch.h"
#include "tests/unit/recent_fixture.h"

namespace velmora::test {
namespace {

constexpr wchar_t kAssistNew[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{CEBFF5CD-ACE2-4F4F-9178-9926F41749EA}\\Count";
constexpr wchar_t kAssistOld[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\UserAssist\\{75048700-EF1F-11D0-9888-006097DEACF9}\\Count";

Json::Value Parse(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(Json::Reader().parse(text, value)) << text;
  return value;
}

std::vector<std::wstring> Paths(const UsedItemList& list) {
  std::vector<std::wstring> paths;
  list.ForEach([&](const UsedItem& item) {
    paths.push_back(LowerText(item.path));
    return true;
  });
  return paths;
}

std::vector<std::string> Names(const Json::Value& list) {
  std::vector<std::string> names;
  for (const Json::Value& element : list) names.push_back(element["name"].asString());
  return names;
}

TEST(UsedItemRules, TimesOfRecords) {
  struct Case {
    uint64_t file_time;
    int64_t seconds;
  } cases[] = {
      {0, 0},                                        // not recorded
      {116444736000000000ULL, 0},                    // 1970 itself
      {10000000ULL, 0},                              // 1601: before 1900
      {0x8000000000000000ULL, 0},                    // no valid time
      {116444736000000000ULL + 16000000000000000ULL, 1600000000},
  };
  for (const Case& c : cases) EXPECT_EQ(FileTimeToUnixSeconds(c.file_time), c.seconds) << c.file_time;

  BYTE data[72] = {};
  const uint64_t at60 = 116444736000000000ULL + 10000000ULL * 1000;
  const uint64_t at8 = 116444736000000000ULL + 10000000ULL * 2000;
  memcpy(data + 60, &at60, 8);
  memcpy(data + 8, &at8, 8);
  EXPECT_EQ(UserAssistLastUsed(data, 72, 6, 1), 1000);
  EXPECT_EQ(UserAssistLastUsed(data, 72, 10, 0), 1000);
  EXPECT_EQ(UserAssistLastUsed(data, 72, 6, 0), 2000);
  EXPECT_EQ(UserAssistLastUsed(data, 72, 5, 1), 2000);
  EXPECT_EQ(UserAssistLastUsed(data, 67, 6, 1), 0) << "the FILETIME would end past the data";
  EXPECT_EQ(Rot13(L"HRZR_PGYFRFFVBA C:\\Nop.rkr 12"), L"UEME_CTLSESSION P:\\Abc.exe 12");
}

TEST(UsedItemRules, InstallerNamesAndMd5Names) {
  struct Case {
    const wchar_t* file;
    const wchar_t* description;
    bool excluded;
  } cases[] = {
      {L"unins000.exe", L"", false},
      {L"Uninstall.exe", L"", true},
      {L"MyUninst.EXE", L"", true},
      {L"SETUP64.exe", L"", true},
      {L"tool.exe", L"Tool \x5378\x8F7D", true},
      {L"tool.exe", L"Product Setup", true},
      {L"tool.exe", L"Tool", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsExcludedProgramName(c.file, c.description), c.excluded) << c.file;

  EXPECT_EQ(IconFileStem(L"abc"), L"900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(IconFileStem(L""), L"d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(IconFileStem(L"C:\\a\\B.exe"), L"36c109176f4b6af99e4ae419a835f7e4") << "the path as recorded, case kept";
}

class UsedItemReply : public RecentFixture {
 protected:
  UsedItem Program(const std::wstring& name, int64_t time, const std::wstring& target = L"") {
    UsedItem item;
    item.path = item.target = target.empty() ? File(local_ + L"\\" + name) : target;
    item.name = name;
    item.kind = UsedKind::kProgram;
    item.last_used = time;
    return item;
  }
  Json::Value Reply(const UsedItemList& programs, std::vector<std::wstring> exclusions = {}) {
    ReplyRules rules;
    rules.exclusions = std::move(exclusions);
    rules.resolve_target = &ResolveReplyTarget;
    rules.exists = [](const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; };
    rules.icon_for = [](const UsedItem&) { return std::wstring(); };
    const std::string text = BuildUsedItemsReply(programs, UsedItemList(), rules);
    EXPECT_EQ(text.back(), '\n');
    return Parse(text);
  }
};

TEST_F(UsedItemReply, TwentyNewestFirstAndAnExcludedOneLetsTheNextMoveUp) {
  UsedItemList programs;
  for (int i = 0; i < 25; ++i) programs.Insert(Program(FormatW(L"p%d.exe", i), 1000 - i));
  std::vector<std::string> expected;
  for (int i = 0; i < 20; ++i) expected.push_back("p" + std::to_string(i) + ".exe");
  const Json::Value all = Reply(programs);
  EXPECT_EQ(Names(all["data"]["programs"]), expected);
  EXPECT_TRUE(all["data"]["files"].isArray() && all["data"]["files"].empty());
  EXPECT_EQ(all["code"].asInt(), 0);

  expected.erase(expected.begin() + 3);
  expected.push_back("p20.exe");
  EXPECT_EQ(Names(Reply(programs, {L"*P3.EXE"})["data"]["programs"]), expected);
}

TEST_F(UsedItemReply, OneElementPerTargetAndNeitherBatchFilesNorMissingTargets) {
  UsedItemList programs;
  const std::wstring app = File(local_ + L"\\App.exe");
  programs.Insert(Program(L"older", 10, app));
  programs.Insert(Program(L"newer", 20, LowerText(app)));  // the same target in other letter case
  programs.Insert(Program(L"run.bat", 30));
  programs.Insert(Program(L"gone", 40, local_ + L"\\gone.exe"));
  programs.Insert(Program(L"first", 5));
  programs.Insert(Program(L"second", 5));  // equal times keep their order
  UsedItem link = Program(L"link", 1, File(local_ + L"\\target.txt"));
  link.shortcut = true;
  link.path = local_ + L"\\link.lnk";
  programs.Insert(link);
  const Json::Value list = Reply(programs)["data"]["programs"];
  EXPECT_EQ(Names(list), (std::vector<std::string>{"newer", "first", "second", "link"}));
  EXPECT_EQ(list[3]["run"].asString(), WideToUtf8(link.path)) << "a shortcut runs the shortcut";
  EXPECT_FALSE(list[0].isMember("icon"));
}

class UsedItemScan : public RecentFixture {
 protected:
  UsedItemSources Sources(DWORD major = 6, DWORD minor = 1) {
    UsedItemSources sources;
    sources.root = root_.get();
    sources.app_data = local_ + L"\\appdata";
    sources.major = major;
    sources.minor = minor;
    const std::wstring local_drive = local_.substr(0, 2);
    sources.is_local_drive = [local_drive](const std::wstring& drive) { return EqualsIgnoreAsciiCase(drive, local_drive); };
    return sources;
  }
};

TEST_F(UsedItemScan, UserAssistKeepsPathsOnLocalDisksAndSkipsCountersIdsAndInstallers) {
  const std::wstring app = File(local_ + L"\\app.exe");
  const std::wstring keep = File(local_ + L"\\unins000.exe");
  const std::wstring tool = File(local_ + L"\\tool.exe");
  const std::wstring link = Link(local_, L"My Tool.lnk", tool);
  const std::wstring broken = File(local_ + L"\\broken.lnk", "not a shortcut");
  const std::wstring long_path = local_ + L"\\" + std::wstring(300, L'l') + L".exe";
  struct Case {
    std::wstring name;
    int64_t time;
    bool kept;
  } cases[] = {
      {app, 300, true},
      {keep, 200, true},
      {link, 400, true},
      {L"C:\\Windows\\System32\\notepad.exe", 0, true},           // never-recorded time
      {File(local_ + L"\\future.exe"), 0x7FFFFFFF, true},          // far in the future
      {L"UEME_RUNPATH:" + app, 500, false},                        // a counter record
      {L"Microsoft.Windows.Explorer", 500, false},                 // an application id
      {File(local_ + L"\\Uninstall.exe"), 500, false},
      {File(local_ + L"\\setup.exe"), 500, false},
      {File(other_ + L"\\removable.exe"), 500, false},             // not an internal disk
      {L"\\\\server\\share\\tool.exe", 500, false},
      {broken, 500, false},                                        // a shortcut that does not load
      {long_path, 500, true},                                      // kept here; the reply drops it
  };
  for (const Case& c : cases) UserAssist(kAssistNew, Rot13(c.name), c.time);
  const BYTE small[25] = {};
  Value(kAssistNew, Rot13(local_ + L"\\short.exe"), REG_BINARY, small, sizeof(small));
  const DWORD dword = 7;
  Value(kAssistNew, Rot13(local_ + L"\\dword.exe"), REG_DWORD, &dword, sizeof(dword));
  Value(kAssistNew, L"P:", REG_BINARY, small, sizeof(small));

  UsedItemList programs;
  ScanUserAssist(Sources(), &programs);
  const std::vector<std::wstring> expected = {LowerText(cases[4].name), LowerText(long_path), LowerText(link),
                                              LowerText(app), LowerText(keep), LowerText(cases[3].name)};
  EXPECT_EQ(Paths(programs), expected);
  programs.ForEach([&](const UsedItem& item) {
    if (item.shortcut) {
      EXPECT_EQ(item.name, L"My Tool");
      EXPECT_TRUE(EqualsIgnoreAsciiCase(item.target, tool));
      EXPECT_EQ(item.kind, UsedKind::kProgram);
    }
    return true;
  });
}

TEST_F(UsedItemScan, OldLayoutReadsPlainNamesAndTheEarlierTime) {
  const std::wstring app = File(local_ + L"\\old.exe");
  const std::wstring newer = File(local_ + L"\\newer.exe");
  UserAssist(kAssistOld, app, 100, /*old_layout=*/true);  // read as written: ROT13 would leave drive C:
  UserAssist(kAssistOld, newer, 200, /*old_layout=*/true);
  UserAssist(kAssistOld, Rot13(L"UEME_RUNPATH:" + app), 300, /*old_layout=*/true);  // "HR...": decoded, a counter
  UserAssist(kAssistNew, app, 400);  // the other version's key is not read
  UsedItemList programs;
  ScanUserAssist(Sources(5, 1), &programs);
  EXPECT_EQ(Paths(programs), (std::vector<std::wstring>{LowerText(newer), LowerText(app)}));
}

TEST_F(UsedItemScan, KnownFolderIdsBecomeFolders) {
  // FOLDERID_Windows
  UserAssist(kAssistNew, Rot13(L"{F38BF404-1D43-42F2-9305-67DE0B28FC23}\\notepad.exe"), 100);
  UserAssist(kAssistNew, Rot13(L"{00000000-0000-0000-0000-000000000000}\\x.exe"), 100);
  UsedItemList programs;
  ScanUserAssist(Sources(), &programs);
  const std::vector<std::wstring> paths = Paths(programs);
  ASSERT_EQ(paths.size(), 1u) << "an unknown id stays a name that is on no drive";
  EXPECT_EQ(paths[0], L"c:\\windows\\notepad.exe");
  EXPECT_EQ(LowerText(ResolveReplyTarget(L"{F38BF404-1D43-42F2-9305-67DE0B28FC23}\\x")), L"c:\\windows\\x");
}

TEST_F(UsedItemScan, OfficeAndKingsoftDocuments) {
  const std::wstring recent = local_ + L"\\appdata\\Microsoft\\Office\\Recent";
  const std::wstring linked = File(local_ + L"\\linked.docx");
  Link(recent, L"linked.docx.lnk", linked);
  Link(recent, L"folder.lnk", local_);                                   // a folder: not a document
  Link(recent, L"gone.lnk", File(local_ + L"\\gone.docx"));
  ::DeleteFileW((local_ + L"\\gone.docx").c_str());
  // Documents on a drive that is no internal fixed disk are left out by every source.
  Link(recent, L"removable.docx.lnk", File(other_ + L"\\removable.docx"));
  const std::wstring removable = L"[F0]*" + File(other_ + L"\\removable.xlsx");
  Value(L"Software\\Microsoft\\Office\\16.0\\Excel\\File MRU", L"Item 1", REG_SZ, removable.c_str(),
        (removable.size() + 1) * sizeof(wchar_t));
  const std::wstring removable_wps = File(other_ + L"\\removable.et");
  Value(L"Software\\kingsoft\\Office\\6.0\\et\\RecentFiles\\files\\1", L"path", REG_SZ, removable_wps.c_str(),
        (removable_wps.size() + 1) * sizeof(wchar_t));
  const std::wstring word = File(local_ + L"\\word.docx");
  const std::wstring mru = L"Software\\Microsoft\\Office\\16.0\\Word\\File MRU";
  const std::wstring item = L"[F00000000][T01D9A1B2C3D4E5F6][O00000000]*" + word;
  Value(mru, L"Item 1", REG_SZ, item.c_str(), (item.size() + 1) * sizeof(wchar_t));
  Value(mru, L"Item 2", REG_SZ, L"no star", 16);
  const DWORD dword = 1;
  Value(mru, L"Item 3", REG_DWORD, &dword, sizeof(dword));
  Value(mru, L"Item 4", REG_SZ, item.c_str(), item.size() * sizeof(wchar_t) - 1);  // odd size, no terminator
  const std::wstring missing = L"[F0]*" + local_ + L"\\missing.xlsx";
  Value(L"Software\\Microsoft\\Office\\15.0\\Excel\\File MRU", L"Item 1", REG_SZ, missing.c_str(),
        (missing.size() + 1) * sizeof(wchar_t));
  const std::wstring wps = File(local_ + L"\\sheet.et");
  Value(L"Software\\kingsoft\\Office\\6.0\\et\\RecentFiles\\files\\0", L"path", REG_SZ, wps.c_str(),
        (wps.size() + 1) * sizeof(wchar_t));

  UsedItemList files;
  ScanRecentDocuments(Sources(), &files);
  std::vector<std::wstring> paths = Paths(files);
  std::sort(paths.begin(), paths.end());
  std::vector<std::wstring> expected = {LowerText(linked), LowerText(wps), LowerText(word)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(paths, expected);
}

TEST_F(UsedItemScan, TenThousandValuesAreScanned) {
  const std::wstring app = File(local_ + L"\\app.exe");
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(root_.get(), kAssistNew, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  BYTE data[72] = {};
  for (int i = 0; i < 10000; ++i) {
    const std::wstring name = Rot13(FormatW(L"UEME_RUNPATH:%d", i));
    ::RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data, sizeof(data));
  }
  ::RegCloseKey(key);
  UserAssist(kAssistNew, Rot13(app), 100);
  UsedItemList programs;
  ScanUserAssist(Sources(), &programs);
  EXPECT_EQ(Paths(programs), std::vector<std::wstring>{LowerText(app)});
}

TEST_F(UsedItemScan, TheWorkerBuildsTheReplyOnceWithIcons) {
  const std::wstring program = local_ + L"\\probe.exe";
  ASSERT_TRUE(::CopyFileW(IconProbe().c_str(), program.c_str(), FALSE));
  UserAssist(kAssistNew, Rot13(program), 100);
  UserAssist(kAssistNew, Rot13(File(local_ + L"\\excluded.exe")), 200);
  const std::wstring word = File(local_ + L"\\word.docx");
  const std::wstring item = L"[F0]*" + word;
  Value(L"Software\\Microsoft\\Office\\16.0\\Word\\File MRU", L"Item 1", REG_SZ, item.c_str(),
        (item.size() + 1) * sizeof(wchar_t));

  CCommonUsedMgr manager(Sources());
  EXPECT_EQ(manager.GetReply(0), "") << "no run yet";
  manager.Start({L"*excluded.exe"});
  manager.Start({});  // a second start does nothing
  const std::string first = manager.GetReply();
  const Json::Value reply = Parse(first);
  const Json::Value programs = reply["data"]["programs"];
  ASSERT_EQ(programs.size(), 1u);
  EXPECT_EQ(programs[0]["run"].asString(), WideToUtf8(program));
  ASSERT_TRUE(programs[0].isMember("icon"));
  const std::wstring icon = Utf8ToWide(programs[0]["icon"].asString());
  EXPECT_EQ(icon, TestDataFolder() + L"\\Icon\\" + IconFileStem(program) + L".png");
  EXPECT_NE(::GetFileAttributesW(icon.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_EQ(reply["data"]["files"].size(), 1u);
  EXPECT_EQ(reply["data"]["files"][0]["name"].asString(), "word.docx");
  // A later run answers its own text but the stored reply stays the first.
  EXPECT_NE(manager.CollectAndBuild({L"*probe.exe"}), first);
  EXPECT_EQ(manager.GetReply(0), first);
}

// A program that only the native system folder holds is used, exists and has its icon for a
// 32-bit side bar too, and the run loads its libraries (msi for the shortcut, the shell's, GDI+'s)
// with file-system redirection left on.
TEST_F(UsedItemScan, TheNativeSystemFolderIsSeenWithRedirectionLeftOn) {
  const ScopedNativeSystemFile native(IconProbe(), L"VelmoraNativeProbe.exe");
  ASSERT_TRUE(native.ok());
  const std::wstring recorded = SystemFolderFile(L"VelmoraNativeProbe.exe");
  UserAssist(kAssistNew, Rot13(recorded), 200);
  UserAssist(kAssistNew, Rot13(Link(local_, L"Tool.lnk", File(local_ + L"\\tool.exe"))), 100);
  UsedItemSources sources = Sources();
  const std::wstring drives[] = {local_.substr(0, 2), recorded.substr(0, 2)};
  sources.is_local_drive = [drives](const std::wstring& drive) {
    return EqualsIgnoreAsciiCase(drive, drives[0]) || EqualsIgnoreAsciiCase(drive, drives[1]);
  };
  const LibraryLoadWatch watch;
  ASSERT_TRUE(watch.watching());
  CCommonUsedMgr manager(sources);
  manager.Start({});
  const Json::Value programs = Parse(manager.GetReply())["data"]["programs"];
  EXPECT_EQ(watch.LoadedWithRedirectionOff(), std::vector<std::wstring>());
  ASSERT_EQ(programs.size(), 2u);
  EXPECT_EQ(programs[0]["run"].asString(), WideToUtf8(recorded));
  EXPECT_TRUE(programs[0].isMember("icon"));
  EXPECT_EQ(programs[1]["name"].asString(), "Tool");
}

}  // namespace
}  // namespace velmora::test
