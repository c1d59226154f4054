// A registry key whose values are answered from a copy in memory until the key changes.
//
// The system signals an event when the key's values or subkeys change (RegNotifyChangeKeyValue);
// the thread pool waits on that event (RegisterWaitForSingleObject) and its callback only marks
// the copy stale. A reader therefore never waits on a kernel object: it answers from memory, and
// asks the registry again (and for the next notice) only after a change. A change another process
// makes reaches the next read as soon as the pool has run the callback, within milliseconds. A key
// that does not exist cannot be watched: it is looked for again on every read until it exists.
#pragma once

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

struct RegistryValue {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
};

class CWatchedKey {
 public:
  CWatchedKey(HKEY root, std::wstring subkey);
  ~CWatchedKey();
  CWatchedKey(const CWatchedKey&) = delete;
  CWatchedKey& operator=(const CWatchedKey&) = delete;

  // The value `name` (the key's default value for an empty name), or nullopt when the key or the
  // value is missing. Any thread.
  std::optional<RegistryValue> Value(const std::wstring& name);
  // A DWORD value; nullopt when missing or of another type or size.
  std::optional<DWORD> Dword(const std::wstring& name);

  // Forgets the copy: for the writer of the key, whose own write must reach its next read at once
  // (the notice of a change reaches the pool's callback a little later).
  void Forget() { stale_.store(true); }

 private:
  static void CALLBACK OnChange(void* self, BOOLEAN timed_out);
  // Opens the key when it is not open and asks for the next change notice unless one is asked
  // for. Under lock_.
  void Watch();

  const HKEY root_;
  const std::wstring subkey_;
  HANDLE changed_ = nullptr;  // the notice event, auto-reset
  HANDLE wait_ = nullptr;     // the pool's wait on it
  std::atomic<bool> stale_{true};
  std::atomic<bool> armed_{false};  // a notice is asked for on key_ and not given yet
  std::mutex lock_;
  HKEY key_ = nullptr;  // null: the key does not exist
  std::map<std::wstring, std::optional<RegistryValue>> values_;  // read since the last change
};

}  // namespace velmora
