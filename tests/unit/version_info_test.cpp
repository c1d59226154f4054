#include "platform/version_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

std::wstring OwnPath() {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length);
}

// version_probe.exe is built beside the test executables with a known version resource.
std::wstring ProbePath() {
  std::wstring path = OwnPath();
  path.erase(path.find_last_of(L'\\') + 1);
  return path + L"version_probe.exe";
}

// A plain text file in the temp folder, deleted when the test ends.
class TempTextFile {
 public:
  TempTextFile() {
    wchar_t folder[MAX_PATH];
    wchar_t name[MAX_PATH];
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH || !::GetTempFileNameW(folder, L"vmv", 0, name)) return;
    path_ = name;
    const HANDLE file = ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    const char text[] = "no version resource here\r\n";
    DWORD written = 0;
    ::WriteFile(file, text, sizeof(text) - 1, &written, nullptr);
    ::CloseHandle(file);
  }
  ~TempTextFile() {
    if (!path_.empty()) ::DeleteFileW(path_.c_str());
  }
  TempTextFile(const TempTextFile&) = delete;
  TempTextFile& operator=(const TempTextFile&) = delete;

  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

TEST(FileVersionTest, ProbeResourceReadByEveryReader) {
  const std::wstring probe = ProbePath();
  ASSERT_NE(::GetFileAttributesW(probe.c_str()), INVALID_FILE_ATTRIBUTES) << "missing " << probe;
  EXPECT_EQ(GetFileVersionText(probe), L"3.14.15.9265");
  EXPECT_EQ(GetFileVersionOrZero(probe), L"3.14.15.9265");
  // The first translation has no string block; the description comes from the second.
  EXPECT_EQ(GetFileDescription(probe), L"Velmora version probe");
}

TEST(FileVersionTest, FileWithoutVersionResource) {
  const TempTextFile text;
  ASSERT_FALSE(text.path().empty());
  EXPECT_EQ(GetFileVersionText(text.path()), L"");
  EXPECT_EQ(GetFileVersionOrZero(text.path()), L"0.0.0.0");
  EXPECT_EQ(GetFileDescription(text.path()), L"");
}

TEST(FileVersionTest, MissingFileAndEmptyPath) {
  const std::wstring missing = ProbePath() + L".missing";
  EXPECT_EQ(GetFileVersionText(missing), L"");
  EXPECT_EQ(GetFileVersionOrZero(missing), L"0.0.0.0");
  EXPECT_EQ(GetFileDescription(missing), L"");
  EXPECT_EQ(GetFileVersionText(L""), L"");
  EXPECT_EQ(GetFileDescription(L""), L"");
}

TEST(FileVersionTest, NoPathMeansOwnExecutable) {
  // This test program carries version 2.7.1.828 (tests/data/test_program_version.rc).
  EXPECT_EQ(GetFileVersionText(OwnPath()), L"2.7.1.828");
  EXPECT_EQ(GetFileVersionOrZero(), L"2.7.1.828");
}

}  // namespace
}  // namespace velmora
