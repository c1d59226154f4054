#include "providers/system_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "platform/module_path.h"
#include "platform/suite_interfaces.h"
#include "platform/system_functions.h"
#include "providers/machine_ids.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

TEST(SystemInfoText, ValuesAreWrittenAsThePageReadsThem) {
  EXPECT_EQ(FormatProcessorsAndMemory(4, 8589934592ull), L"4|8.0");
  EXPECT_EQ(FormatProcessorsAndMemory(8, 17072660480ull), L"8|15.9");
  EXPECT_EQ(FormatProcessorsAndMemory(1, 0), L"1|0.0");  // memory that could not be read
  EXPECT_EQ(FormatWorkArea(RECT{0, 0, 1920, 1040}), L"(0,0,1920,1040)");
  EXPECT_EQ(FormatWorkArea(RECT{-1920, 0, 0, 1080}), L"(-1920,0,0,1080)");
  const struct {
    DWORD major, minor, build;
    const wchar_t* text;
  } versions[] = {{6, 1, 7601, L"6.1"}, {6, 3, 9600, L"6.3"}, {10, 0, 19045, L"10.0.19045"}, {11, 0, 22000, L"11.0.22000"}};
  for (const auto& v : versions) EXPECT_EQ(FormatWindowsVersion(v.major, v.minor, v.build), v.text) << v.text;
  // Wine's default prefix reports Windows 7.
  EXPECT_EQ(WindowsVersionText(), L"6.1");
}

// Each member carries its own field: every field holds its member's name here.
TEST(SystemInfoText, TheDocumentHasEveryMemberAsAStringOfItsOwnField) {
  SystemReport r;
  for (auto [field, name] : {std::pair{&r.mid, L"mid"}, {&r.m2, L"m2"}, {&r.safe_ver, L"safe_ver"},
                             {&r.self_ver, L"self_ver"}, {&r.s, L"s"}, {&r.sysver, L"sysver"}, {&r.pid, L"pid"},
                             {&r.ipartner, L"ipartner"}, {&r.se_ver, L"se_ver"},
                             {&r.downloader_ver, L"downloader_ver"}, {&r.newidview_ver, L"newidview_ver"},
                             {&r.workarea, L"workarea"}}) {
    *field = name;
  }
  r.mid += L"\u00e9";  // UTF-8 in the document
  const std::string text = SystemReportJson(r);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  Json::Value document;
  ASSERT_TRUE(Json::Reader().parse(text, document));
  EXPECT_EQ(document.size(), 12u);
  for (const std::string& name : document.getMemberNames()) {
    EXPECT_EQ(document[name].asString(), name == "mid" ? "mid\xC3\xA9" : name);
  }
}

// The identifier objects of the BaseCore stand-in, loaded from the build's suite.
class MachineIdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = ::LoadLibraryW(test::BuiltSuiteFile(L"BaseCore.dll").c_str());
    ASSERT_NE(library_, nullptr);
    factory_ = GetProcAddressAs<BaseCoreCreateInstanceFn>(library_, kBaseCoreCreateInstance);
    ASSERT_NE(factory_, nullptr);
  }
  void TearDown() override {
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", nullptr);
    ::SetEnvironmentVariableW(L"VELMORA_STANDIN_M2", nullptr);
    ::FreeLibrary(library_);
  }
  HMODULE library_ = nullptr;
  BaseCoreCreateInstanceFn factory_ = nullptr;
};

TEST_F(MachineIdTest, EachObjectAnswersItsTextAndAFailureReadsEmpty) {
  EXPECT_EQ(ReadMachineIdText(factory_, kMachineIdObject), L"VELMORA-TEST-MID-0001");
  EXPECT_EQ(ReadMachineIdText(factory_, kSecondMachineIdObject), L"VELMORA-TEST-M2-0001");
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", L"");  // the object's query fails
  EXPECT_EQ(ReadMachineIdText(factory_, kMachineIdObject), L"");
  // 259 characters fit the 260-character buffer; 260 do not, and read as empty.
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", std::wstring(259, L'x').c_str());
  EXPECT_EQ(ReadMachineIdText(factory_, kMachineIdObject), std::wstring(259, L'x'));
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", std::wstring(260, L'x').c_str());
  EXPECT_EQ(ReadMachineIdText(factory_, kMachineIdObject), L"");
  EXPECT_EQ(ReadMachineIdText(factory_, GUID{}), L"");  // no such object
  EXPECT_EQ(ReadMachineIdText(nullptr, kMachineIdObject), L"");  // BaseCore did not bind
}

TEST_F(MachineIdTest, TheCacheKeepsTheFirstNonEmptyRead) {
  CMachineIdCache cache;
  int reads = 0;
  auto read = [&] {
    ++reads;
    return ReadMachineIdText(factory_, kMachineIdObject);
  };
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", L"");
  EXPECT_EQ(cache.Get(read), L"");
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", L"first");
  EXPECT_EQ(cache.Get(read), L"first");
  ::SetEnvironmentVariableW(L"VELMORA_STANDIN_MID", L"second");
  EXPECT_EQ(cache.Get(read), L"first");
  EXPECT_EQ(reads, 2);
}

}  // namespace
}  // namespace velmora
