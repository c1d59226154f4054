// The system information report the page asks for with getSystemInfo: the machine identifiers,
// the versions of the suite, of this program and of related components, the partner channel,
// processor count and memory, the Windows version and the work area. The document is always
// produced; a value that cannot be read is empty ("0.0.0.0" for the versions read with
// GetFileVersionOrZero).
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>

namespace velmora {

// Every member of the report, UTF-16, by its key in the document.
struct SystemReport {
  std::wstring mid, m2, safe_ver, self_ver, s, sysver, pid, ipartner, se_ver, downloader_ver, newidview_ver, workarea;
};

// The report as the page receives it: one object of strings, UTF-8, written by the compact writer
// (members sorted by name, trailing line feed). Pure.
std::string SystemReportJson(const SystemReport& report);

// "<processors>|<memory in GiB, one decimal>", as "8|15.9". Pure.
std::wstring FormatProcessorsAndMemory(DWORD processors, ULONGLONG memory_bytes);

// "(left,top,right,bottom)". Pure.
std::wstring FormatWorkArea(const RECT& area);

// "major.minor", and ".build" from major version 10 on ("6.1", "10.0.19045"). Pure.
std::wstring FormatWindowsVersion(DWORD major, DWORD minor, DWORD build);

// The Windows version as FormatWindowsVersion writes it, from the real OS version; worked out once
// per process. Any thread.
const std::wstring& WindowsVersionText();

// One per services object. Values that do not change while the program runs (partner, Windows
// version, engine and component versions) are read at the first report; the machine identifiers
// and the suite version until they are first read non-empty; the program version, processors,
// memory and work area at every report. Main thread (the first report may come from any thread).
class CSystemInfo {
 public:
  // `engine_version` answers the browser engine's version when the first report is made.
  explicit CSystemInfo(std::function<std::wstring()> engine_version);
  CSystemInfo(const CSystemInfo&) = delete;
  CSystemInfo& operator=(const CSystemInfo&) = delete;

  // The report's values now.
  SystemReport Collect();
  // SystemReportJson(Collect()).
  std::string GetSystemInfoJson();

 private:
  struct Fixed {
    std::wstring ipartner, pid, se_ver, downloader_ver, newidview_ver;
  };
  const Fixed& FixedValues();

  std::function<std::wstring()> engine_version_;
  std::once_flag fixed_once_;
  Fixed fixed_;
  std::mutex suite_version_lock_;
  std::wstring safe_ver_;
};

}  // namespace velmora
