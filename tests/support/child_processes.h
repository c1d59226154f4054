// The processes this process started that are still running. A test that proves a refused start
// started nothing compares them before and after, and looks for the mark the program would have
// left: a child that was started is either still running or has ended after leaving its mark,
// so neither needs a wait.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <set>

namespace velmora::test {

inline std::set<DWORD> RunningChildren() {
  std::set<DWORD> children;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more; more = ::Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == ::GetCurrentProcessId()) children.insert(entry.th32ProcessID);
  }
  ::CloseHandle(snapshot);
  return children;
}

// The running children that were not there at `before`.
inline std::set<DWORD> ChildrenStartedSince(const std::set<DWORD>& before) {
  std::set<DWORD> started;
  for (DWORD id : RunningChildren()) {
    if (!before.count(id)) started.insert(id);
  }
  return started;
}

}  // namespace velmora::test
