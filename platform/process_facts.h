// Facts about drives, processes and the running system. Safe on any thread; failures answer false
// and leave out-parameters untouched; nothing throws.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// True for a fixed drive ("C:\" or "C:") that is not attached through USB or IEEE 1394. A fixed
// volume whose storage descriptor cannot be read counts as internal; one that cannot be opened
// does not.
bool IsInternalFixedDisk(const std::wstring& root);

// A drive test ("C:" in, true for an internal fixed disk) that asks `test` (null:
// IsInternalFixedDisk, which opens the volume) once per drive and keeps the answers. Not for
// concurrent callers.
std::function<bool(const std::wstring&)> DriveTestAskingOnce(std::function<bool(const std::wstring&)> test);

// The decision of IsInternalFixedDisk from what was learnt about the drive: a fixed drive whose
// device (when the system named one) is a hard disk, and whose volume opened (`bus` present) on a
// bus other than USB and 1394. Pure.
bool IsInternalFixedDiskFrom(UINT drive_type, std::optional<std::wstring_view> dos_device,
                             std::optional<STORAGE_BUS_TYPE> bus);

// Enables SeDebugPrivilege in this process's token; false when the token does not hold it.
bool EnableDebugPrivilege();

// The full image path of process `pid` into `*out`, as the system recorded it when the process
// was created (QueryFullProcessImageNameW); true only for a non-empty path.
[[nodiscard]] bool GetProcessImagePath(DWORD pid, std::wstring* out);

// True when this process runs under WOW64 (false where IsWow64Process does not exist).
bool IsWow64();

// True when this process's token is elevated (TokenElevation). Read once per process.
bool IsProcessElevated();

// Copies the real Windows version into `record`: as many bytes as its dwOSVersionInfoSize says, at
// most sizeof(OSVERSIONINFOEXW); the size field itself keeps the caller's value. The version is
// computed once per process (GetVersionExW, raised by RtlGetVersion and by the kernel file's own
// version, which compatibility shims do not touch); callers racing the first computation wait
// for it. False for a null record or when GetVersionExW failed.
[[nodiscard]] bool GetRealOSVersion(OSVERSIONINFOW* record);

// True when the cached version was raised from the kernel file's version resource.
bool WasOSVersionRaisedByKernel();

// Raises `record`'s major, minor and build numbers to the kernel file's product version when that
// one is higher (major * 10 + minor); true when it did. Pure.
bool RaiseVersionFromKernel(const VS_FIXEDFILEINFO& kernel, OSVERSIONINFOEXW* record);

}  // namespace velmora
