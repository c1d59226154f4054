#include "platform/process_facts.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/system_functions.h"
#include "platform/text.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

std::wstring OwnPath() {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return std::wstring(buffer.data(), length);
}

OSVERSIONINFOEXW EmptyRecord() {
  OSVERSIONINFOEXW record = {};
  record.dwOSVersionInfoSize = sizeof(record);
  return record;
}

// Defined first so that, run in file order, it makes the process's first use of the cache. With
// no compatibility mode the real version is the one the kernel answers RtlGetVersion with.
TEST(RealOSVersionTest, ConcurrentFirstCallersGetTheKernelsVersion) {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  const auto rtl_get_version = GetProcAddressAs<RtlGetVersionFn>(::GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion");
  OSVERSIONINFOEXW kernel = EmptyRecord(), reported = EmptyRecord();
  ASSERT_TRUE(rtl_get_version && rtl_get_version(reinterpret_cast<OSVERSIONINFOW*>(&kernel)) == 0);
  ASSERT_TRUE(::GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&reported)));

  constexpr int kThreads = 8;
  std::vector<OSVERSIONINFOEXW> records(kThreads, EmptyRecord());
  std::vector<int> results(kThreads, -1);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      results[i] = GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&records[i])) ? 1 : 0;
    });
  }
  go = true;
  for (std::thread& thread : threads) thread.join();
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(results[i], 1);
    EXPECT_EQ(std::memcmp(&records[i], &records[0], sizeof(records[0])), 0);
    EXPECT_EQ(records[i].dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
    EXPECT_EQ(records[i].dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(records[i].dwMajorVersion, kernel.dwMajorVersion);
    EXPECT_EQ(records[i].dwMinorVersion, kernel.dwMinorVersion);
    EXPECT_EQ(records[i].dwBuildNumber, kernel.dwBuildNumber);
  }
  EXPECT_GE(records[0].dwMajorVersion * 10 + records[0].dwMinorVersion,
            reported.dwMajorVersion * 10 + reported.dwMinorVersion);
}

TEST(RealOSVersionTest, CopiesOnlyWhatTheSizeFieldAllows) {
  OSVERSIONINFOEXW full = EmptyRecord();
  ASSERT_TRUE(GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&full)));

  constexpr size_t kGuard = 16;
  constexpr unsigned char kFill = 0xCC;
  for (const DWORD size : {DWORD{0}, DWORD{sizeof(OSVERSIONINFOW)}, DWORD{sizeof(OSVERSIONINFOEXW)},
                           DWORD{sizeof(OSVERSIONINFOEXW) + kGuard}}) {
    alignas(OSVERSIONINFOEXW) unsigned char buffer[sizeof(OSVERSIONINFOEXW) + kGuard];
    std::memset(buffer, kFill, sizeof(buffer));
    std::memcpy(buffer, &size, sizeof(size));
    ASSERT_TRUE(GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(buffer))) << "size " << size;

    DWORD size_after = 0;
    std::memcpy(&size_after, buffer, sizeof(size_after));
    EXPECT_EQ(size_after, size) << "the caller's size field is kept";
    const size_t copied = std::min<size_t>(size, sizeof(OSVERSIONINFOEXW));
    if (copied > sizeof(DWORD)) {
      EXPECT_EQ(std::memcmp(buffer + sizeof(DWORD), reinterpret_cast<const unsigned char*>(&full) + sizeof(DWORD),
                            copied - sizeof(DWORD)),
                0)
          << "size " << size;
    }
    for (size_t i = std::max(copied, sizeof(DWORD)); i < sizeof(buffer); ++i) {
      ASSERT_EQ(buffer[i], kFill) << "size " << size << " wrote byte " << i;
    }
  }
  EXPECT_FALSE(GetRealOSVersion(nullptr));
}

struct RaiseCase {
  DWORD major, minor, build;             // record before
  WORD kernel_major, kernel_minor, kernel_build;
  bool raised;
  DWORD expect_major, expect_minor, expect_build;
};

TEST(RaiseVersionFromKernelTest, Table) {
  const RaiseCase cases[] = {
      {6, 2, 9200, 10, 0, 19045, true, 10, 0, 19045},  // manifest-less program on Windows 10
      {6, 1, 7601, 6, 2, 9200, true, 6, 2, 9200},      // the minor version alone decides
      {6, 3, 9600, 6, 3, 9600, false, 6, 3, 9600},     // equal: not raised
      {10, 0, 10240, 10, 0, 19041, false, 10, 0, 10240},  // a newer build alone does not raise
      {10, 0, 19045, 6, 1, 7601, false, 10, 0, 19045},    // an older kernel never lowers
  };
  for (const RaiseCase& c : cases) {
    OSVERSIONINFOEXW record = EmptyRecord();
    record.dwMajorVersion = c.major;
    record.dwMinorVersion = c.minor;
    record.dwBuildNumber = c.build;
    record.dwPlatformId = VER_PLATFORM_WIN32_NT;
    record.wServicePackMajor = 1;
    VS_FIXEDFILEINFO kernel = {};
    kernel.dwProductVersionMS = MAKELONG(c.kernel_minor, c.kernel_major);
    kernel.dwProductVersionLS = MAKELONG(7, c.kernel_build);
    kernel.dwFileVersionMS = MAKELONG(99, 99);  // the file version must not be the one read

    EXPECT_EQ(RaiseVersionFromKernel(kernel, &record), c.raised) << c.major << "." << c.minor;
    EXPECT_EQ(record.dwMajorVersion, c.expect_major);
    EXPECT_EQ(record.dwMinorVersion, c.expect_minor);
    EXPECT_EQ(record.dwBuildNumber, c.expect_build);
    EXPECT_EQ(record.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(record.wServicePackMajor, 1);
  }
  EXPECT_FALSE(RaiseVersionFromKernel(VS_FIXEDFILEINFO{}, nullptr));
}

TEST(ProcessImagePathTest, OwnProcessMatchesItsModuleFileNameUnknownOnesLeaveTheOutputAlone) {
  std::wstring path;
  ASSERT_TRUE(GetProcessImagePath(::GetCurrentProcessId(), &path));
  EXPECT_TRUE(EqualsIgnoreAsciiCase(path, OwnPath())) << path;
  for (const DWORD id : {0xFFFFFFF0u, 0u}) {
    path = L"untouched";
    EXPECT_FALSE(GetProcessImagePath(id, &path)) << id;
    EXPECT_EQ(path, L"untouched");
  }
  EXPECT_FALSE(GetProcessImagePath(::GetCurrentProcessId(), nullptr));
}

TEST(ProcessImagePathTest, SuspendedChildIsFound) {
  // A process that has not run its loader yet has no module list; the image name still exists.
  const std::wstring probe = test::TestProgramFile(L"version_probe.exe");
  std::wstring command = L"\"" + probe + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(::CreateProcessW(probe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                               nullptr, &startup, &info))
      << "cannot start " << probe;
  std::wstring path;
  const bool found = GetProcessImagePath(info.dwProcessId, &path);
  ::TerminateProcess(info.hProcess, 0);
  ::WaitForSingleObject(info.hProcess, 5000);
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  ASSERT_TRUE(found);
  EXPECT_TRUE(EqualsIgnoreAsciiCase(path, probe)) << path;
}

// The test prefix is 64-bit: a 32-bit build runs under WOW64, a 64-bit build natively.
TEST(ProcessFactsTest, Wow64MatchesTheBuild) { EXPECT_EQ(sizeof(void*) == 4, IsWow64()); }

TEST(ProcessFactsTest, DebugPrivilegeEnabledInToken) {
  // Wine runs programs as an elevated administrator, whose token holds the privilege.
  ASSERT_TRUE(EnableDebugPrivilege());
  EXPECT_TRUE(EnableDebugPrivilege()) << "a second call on an enabled privilege";

  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  LUID debug = {};
  ASSERT_TRUE(::LookupPrivilegeValueW(nullptr, L"SeDebugPrivilege", &debug));
  PRIVILEGE_SET query = {};
  query.PrivilegeCount = 1;
  query.Control = PRIVILEGE_SET_ALL_NECESSARY;
  query.Privilege[0].Luid = debug;
  BOOL enabled = FALSE;
  EXPECT_TRUE(::PrivilegeCheck(token, &query, &enabled));
  EXPECT_TRUE(enabled);
  ::CloseHandle(token);
}

TEST(InternalFixedDiskTest, DecisionFromTheDriveFacts) {
  const std::wstring_view disk = L"\\Device\\HarddiskVolume2", virtual_disk = L"\\Device\\RamDisk0";
  const struct {
    UINT type;
    std::optional<std::wstring_view> device;
    std::optional<STORAGE_BUS_TYPE> bus;
    bool internal;
  } cases[] = {
      {DRIVE_FIXED, disk, BusTypeSata, true},
      {DRIVE_FIXED, disk, BusTypeUnknown, true},   // descriptor unreadable: internal
      {DRIVE_FIXED, std::nullopt, BusTypeNvme, true},  // no device name: no objection
      {DRIVE_FIXED, disk, BusTypeUsb, false},
      {DRIVE_FIXED, disk, BusType1394, false},
      {DRIVE_FIXED, virtual_disk, BusTypeSata, false},
      {DRIVE_FIXED, disk, std::nullopt, false},     // the volume did not open
      {DRIVE_REMOVABLE, disk, BusTypeSata, false},
      {DRIVE_REMOTE, std::nullopt, std::nullopt, false},
      {DRIVE_CDROM, disk, BusTypeAtapi, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsInternalFixedDiskFrom(c.type, c.device, c.bus), c.internal)
        << c.type << " " << (c.device ? std::wstring(*c.device) : L"-") << " " << (c.bus ? int(*c.bus) : -1);
  }
}

TEST(InternalFixedDiskTest, TheSystemDriveIsInternalMissingAndNonRootPathsAreNot) {
  for (const wchar_t* root : {L"C:\\", L"C:"}) EXPECT_TRUE(IsInternalFixedDisk(root)) << root;  // with or without "\\"
  for (const wchar_t* path : {L"", L"\\", L"no such folder\\"}) EXPECT_FALSE(IsInternalFixedDisk(path)) << path;
  const DWORD drives = ::GetLogicalDrives();
  for (wchar_t letter = L'Z'; letter >= L'D'; --letter) {
    if (drives & (1u << (letter - L'A'))) continue;
    const std::wstring root = std::wstring(1, letter) + L":\\";
    EXPECT_FALSE(IsInternalFixedDisk(root)) << root;
    break;
  }
}

}  // namespace
}  // namespace velmora
