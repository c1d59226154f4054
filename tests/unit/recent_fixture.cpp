#include "tests/unit/recent_fixture.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shlobj.h>

#include "config/shortcut.h"
#include "platform/data_folder.h"
#include "platform/module_path.h"
#include "platform/text.h"
#include "tests/support/file_tree.h"
#include "tests/support/registry_values.h"

namespace velmora::test {
namespace {

std::wstring TempRoot() {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  return FormatW(L"%lsvelmora-recent-%lu", temp, ::GetCurrentProcessId());
}

// Starts GDI+ and gives the program its own APPDATA, once, before any test runs.
class RecentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    const std::wstring app_data = TempRoot() + L"\\appdata";
    ::SHCreateDirectoryExW(nullptr, app_data.c_str(), nullptr);
    ::SetEnvironmentVariableW(L"APPDATA", app_data.c_str());
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token_, &input, nullptr);
  }
  void TearDown() override {
    Gdiplus::GdiplusShutdown(token_);
    DeleteTree(TempRoot());
    // The tests' keys are gone already; their parents go too (the last only when nobody else's
    // keys are in it).
    ::RegDeleteTreeW(HKEY_CURRENT_USER, FormatW(L"Software\\VelmoraTest\\Recent%lu", ::GetCurrentProcessId()).c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, FormatW(L"Software\\VelmoraTest\\Recent%lu", ::GetCurrentProcessId()).c_str());
    ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VelmoraTest");
  }

 private:
  ULONG_PTR token_ = 0;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new RecentEnvironment);

}  // namespace

std::wstring TestDataFolder() { return GetDataFolder(); }

void RecentFixture::SetUp() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::wstring test = Utf8ToWide(std::string(info->test_suite_name()) + "." + info->name());
  root_name_ = FormatW(L"Software\\VelmoraTest\\Recent%lu\\%ls", ::GetCurrentProcessId(), test.c_str());
  ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, root_name_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              root_.receive(), nullptr),
            ERROR_SUCCESS);
  local_ = TempRoot() + L"\\" + test;
  // Wine's Z: drive is the Linux root; the temporary folder lies on C:.
  other_ = FormatW(L"Z:\\tmp\\velmora-recent-%lu\\%ls", ::GetCurrentProcessId(), test.c_str());
  ::SHCreateDirectoryExW(nullptr, local_.c_str(), nullptr);
  ::SHCreateDirectoryExW(nullptr, other_.c_str(), nullptr);
  // Icons are taken only from internal fixed disks, which Wine's Z: (the build's) is not.
  ASSERT_TRUE(::CopyFileW(TestProgramFile(L"icon_probe.dll").c_str(), IconProbe().c_str(),
                          FALSE));
}

void RecentFixture::TearDown() {
  root_.reset();
  ::RegDeleteTreeW(HKEY_CURRENT_USER, root_name_.c_str());
  ::RegDeleteKeyW(HKEY_CURRENT_USER, root_name_.c_str());
  DeleteTree(local_);
  DeleteTree(ParentFolder(other_));
}

std::wstring RecentFixture::File(const std::wstring& path, const std::string& bytes) {
  EXPECT_TRUE(WriteAll(path, bytes)) << path;
  return path;
}

std::wstring RecentFixture::Link(const std::wstring& folder, const std::wstring& name, const std::wstring& target,
                                 const std::wstring& icon, int icon_index) {
  ::SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  EXPECT_TRUE(CreateShortcut(folder, name, L"", target, icon, icon_index)) << name;
  return folder + L"\\" + name;
}

void RecentFixture::Value(const std::wstring& subkey, const std::wstring& name, DWORD type, const void* data,
                          size_t size) {
  EXPECT_TRUE(SetRegistryValue(root_.get(), subkey, name.c_str(), type, data, size)) << name;
}

void RecentFixture::UserAssist(const std::wstring& subkey, const std::wstring& name, int64_t unix_seconds,
                               bool old_layout) {
  BYTE data[72] = {};
  const uint64_t time = unix_seconds ? FileTimeOf(unix_seconds) : 0;
  memcpy(data + (old_layout ? 8 : 60), &time, sizeof(time));
  Value(subkey, name, REG_BINARY, data, sizeof(data));
}

std::wstring RecentFixture::IconProbe() const { return local_ + L"\\icon_probe.dll"; }

}  // namespace velmora::test
