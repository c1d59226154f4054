// The suite's shared account store (ShareStore.dll's store "safe"), where the login stack keeps
// the signed-in account's fields. One per process (Instance()); tests make their own.
#pragma once

#include <windows.h>

#include <mutex>
#include <string>

#include "account/login_interfaces.h"
#include "platform/scoped_handle.h"

namespace velmora {

// Text values are read into this many characters; longer values are cut to it.
inline constexpr DWORD kAccountTextChars = 4095;

class CShareStore {
 public:
  // The process-wide store, opened from GetSuiteFolder() on first use (one attempt only).
  static CShareStore& Instance();

  CShareStore() = default;
  ~CShareStore();
  CShareStore(const CShareStore&) = delete;
  CShareStore& operator=(const CShareStore&) = delete;

  // "<suite_folder>\utils\ShareStore.dll" through the trusted loader, CreateShareData(0, 0) and
  // Open("safe", 0). False, with nothing kept, when any step fails. Call once, before reads.
  bool Open(const std::wstring& suite_folder);

  // The value of field `name` (key "safe.<name>"): empty text and 0 when the store is absent or
  // the value unreadable. Any thread.
  std::wstring ReadText(const wchar_t* name) const;
  DWORD ReadNumber(const wchar_t* name) const;

 private:
  mutable std::mutex lock_;  // the store object is not known to be thread-safe
  ScopedLibrary library_;
  IShareData* store_ = nullptr;
};

}  // namespace velmora
