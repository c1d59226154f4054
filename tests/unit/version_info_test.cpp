#include "platform/version_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/module_path.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

std::wstring OwnPath() { return GetModulePath(nullptr); }

// version_probe.exe is built beside the test executables with a known version resource.
std::wstring ProbePath() { return test::TestProgramFile(L"version_probe.exe"); }

TEST(FileVersionTest, ProbeResourceReadByEveryReader) {
  const std::wstring probe = ProbePath();
  ASSERT_NE(::GetFileAttributesW(probe.c_str()), INVALID_FILE_ATTRIBUTES) << "missing " << probe;
  EXPECT_EQ(GetFileVersionText(probe), L"3.14.15.9265");
  EXPECT_EQ(GetFileVersionOrZero(probe), L"3.14.15.9265");
  // The first translation has no string block; the description comes from the second.
  EXPECT_EQ(GetFileDescription(probe), L"Velmora version probe");
}

TEST(FileVersionTest, FilesWithoutAVersionResourceReadAsNone) {
  test::TempFolder folder;
  ASSERT_TRUE(test::WriteAll(folder / L"text.txt", "no version resource here\r\n"));
  for (const std::wstring& path : {folder / L"text.txt", ProbePath() + L".missing", std::wstring()}) {
    EXPECT_EQ(GetFileVersionText(path), L"") << path;
    EXPECT_EQ(GetFileDescription(path), L"") << path;
    if (!path.empty()) {  // no path at all names this program
      EXPECT_EQ(GetFileVersionOrZero(path), L"0.0.0.0") << path;
    }
  }
}

TEST(FileVersionTest, NoPathMeansOwnExecutable) {
  // This test program carries version 2.7.1.828 (tests/data/test_program_version.rc).
  EXPECT_EQ(GetFileVersionText(OwnPath()), L"2.7.1.828");
  EXPECT_EQ(GetFileVersionOrZero(), L"2.7.1.828");
}

}  // namespace
}  // namespace velmora
