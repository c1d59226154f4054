#include "providers/system_info.h"

#include <json/value.h>
#include <json/writer.h>

#include <utility>

#include "platform/module_path.h"
#include "platform/once_value.h"
#include "platform/path_text.h"
#include "platform/process_facts.h"
#include "platform/registry.h"
#include "platform/suite_folder.h"
#include "platform/text.h"
#include "platform/version_info.h"
#include "providers/machine_ids.h"

namespace velmora {
namespace {

constexpr wchar_t kPartnerKey[] = L"SOFTWARE\\VuqSafe\\Coop";
constexpr size_t kPartnerMaxChars = 259;

std::wstring ReadPartnerValue(const wchar_t* name) {
  return QueryRegistryString(HKEY_LOCAL_MACHINE, kPartnerKey, name, kPartnerMaxChars).value_or(std::wstring());
}

// The file version of a suite file, or empty when the file is not there.
std::wstring SuiteFileVersionIfPresent(const std::wstring& suite, const wchar_t* relative) {
  if (suite.empty()) return std::wstring();  // no suite: nothing of it is present
  const std::wstring path = JoinPath(suite, relative);
  return IsExistingFile(path) ? GetFileVersionOrZero(path) : std::wstring();
}

std::wstring ProcessorsAndMemoryNow() {
  SYSTEM_INFO system{};
  ::GetSystemInfo(&system);
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof(memory);
  if (!::GlobalMemoryStatusEx(&memory)) memory.ullTotalPhys = 0;
  return FormatProcessorsAndMemory(system.dwNumberOfProcessors, memory.ullTotalPhys);
}

std::wstring WorkAreaNow() {
  RECT area{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return FormatWorkArea(area);
}

OnceValue<std::wstring> g_windows_version;

}  // namespace

std::string SystemReportJson(const SystemReport& report) {
  Json::Value document(Json::objectValue);
  const std::pair<const char*, const std::wstring*> members[] = {
      {"mid", &report.mid},
      {"m2", &report.m2},
      {"safe_ver", &report.safe_ver},
      {"self_ver", &report.self_ver},
      {"s", &report.s},
      {"sysver", &report.sysver},
      {"pid", &report.pid},
      {"ipartner", &report.ipartner},
      {"se_ver", &report.se_ver},
      {"downloader_ver", &report.downloader_ver},
      {"newidview_ver", &report.newidview_ver},
      {"workarea", &report.workarea},
  };
  for (const auto& member : members) document[member.first] = WideToUtf8(*member.second);
  return Json::FastWriter().write(document);
}

std::wstring FormatProcessorsAndMemory(DWORD processors, ULONGLONG memory_bytes) {
  return FormatW(L"%d|%.1f", static_cast<int>(processors), static_cast<double>(memory_bytes) / 1073741824.0);
}

std::wstring FormatWorkArea(const RECT& area) {
  return FormatW(L"(%d,%d,%d,%d)", static_cast<int>(area.left), static_cast<int>(area.top),
                 static_cast<int>(area.right), static_cast<int>(area.bottom));
}

std::wstring FormatWindowsVersion(DWORD major, DWORD minor, DWORD build) {
  if (major >= 10) return FormatW(L"%lu.%lu.%lu", major, minor, build);
  return FormatW(L"%lu.%lu", major, minor);
}

const std::wstring& WindowsVersionText() {
  return g_windows_version.Get([] {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetRealOSVersion(reinterpret_cast<OSVERSIONINFOW*>(&version))) return std::wstring();
    return FormatWindowsVersion(version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber);
  });
}

CSystemInfo::CSystemInfo(std::function<std::wstring()> engine_version) : engine_version_(std::move(engine_version)) {}

const CSystemInfo::Fixed& CSystemInfo::FixedValues() {
  std::call_once(fixed_once_, [this] {
    const std::wstring suite = GetSuiteFolder();
    fixed_.ipartner = ReadPartnerValue(L"ipartner");
    fixed_.pid = ReadPartnerValue(L"PartnerName");
    if (engine_version_) fixed_.se_ver = engine_version_();
    fixed_.downloader_ver = SuiteFileVersionIfPresent(suite, L"FetchTool.exe");
    fixed_.newidview_ver = SuiteFileVersionIfPresent(suite, L"Utils\\IdView.exe");
  });
  return fixed_;
}

SystemReport CSystemInfo::Collect() {
  const Fixed& fixed = FixedValues();
  SystemReport report;
  report.mid = MachineId();
  report.m2 = SecondMachineId();
  {
    std::lock_guard<std::mutex> hold(suite_version_lock_);
    if (safe_ver_.empty()) {
      // Without a suite folder a bare file name would be looked for along the search path.
      const std::wstring suite = GetSuiteFolder();
      safe_ver_ = suite.empty() ? kZeroVersion : GetFileVersionOrZero(JoinPath(suite, L"VerProbe.dll"));
    }
    report.safe_ver = safe_ver_;
  }
  report.self_ver = GetFileVersionOrZero();
  report.s = ProcessorsAndMemoryNow();
  report.sysver = WindowsVersionText();
  report.pid = fixed.pid;
  report.ipartner = fixed.ipartner;
  report.se_ver = fixed.se_ver;
  report.downloader_ver = fixed.downloader_ver;
  report.newidview_ver = fixed.newidview_ver;
  report.workarea = WorkAreaNow();
  return report;
}

std::string CSystemInfo::GetSystemInfoJson() { return SystemReportJson(Collect()); }

}  // namespace velmora
