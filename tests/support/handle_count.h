// How many handles this process has open, for tests that prove nothing was left open.
// GetProcessHandleCount answers 0 under Wine, so the system's handle table is counted instead.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <vector>

namespace velmora::test {

inline DWORD OpenHandleCount() {
  struct Entry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO
    ULONG owner_pid;
    BYTE object_type;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
  };
  using QueryFn = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<BYTE> buffer(1 << 20);
  for (int tries = 0; tries < 8; ++tries) {
    ULONG needed = 0;
    const LONG status = query(/*SystemHandleInformation=*/16, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status < 0) return 0;
    const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entry = reinterpret_cast<const Entry*>(buffer.data() + sizeof(ULONG_PTR));
    DWORD count = 0;
    for (ULONG i = 0; i < entries; ++i) {
      if (entry[i].owner_pid == ::GetCurrentProcessId()) ++count;
    }
    return count;
  }
  return 0;
}

}  // namespace velmora::test
