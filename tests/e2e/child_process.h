// Starting the real Velmora.exe from a test and waiting for it like a user's shell would.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace velmora::test {

struct ChildResult {
  bool started = false;
  bool finished = false;  // false: still running at the deadline (it is then terminated)
  DWORD exit_code = STILL_ACTIVE;
};

using EnvironmentOverrides = std::vector<std::pair<std::wstring, std::wstring>>;

// Runs "exe" arguments with the given environment variables replaced or added, and waits up to
// `timeout_ms`. Keeps pumping this thread's messages meanwhile, so that the child can send
// messages to windows the test owns.
ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, DWORD timeout_ms,
                     const EnvironmentOverrides& environment = {});

// A fresh, empty folder under the temporary folder; removed with its content by the destructor.
class ScopedTempFolder {
 public:
  ScopedTempFolder();
  ~ScopedTempFolder();
  ScopedTempFolder(const ScopedTempFolder&) = delete;
  ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

}  // namespace velmora::test
