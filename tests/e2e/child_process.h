// Starting the real Velmora.exe from a test and waiting for it like a user's shell would.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/file_tree.h"

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

// Starts "exe" arguments with the environment overrides and returns at once; the caller owns
// the process handle. Null when the process could not be started.
HANDLE StartChild(const std::wstring& exe, const std::wstring& arguments, const EnvironmentOverrides& environment = {});

// The Velmora.exe under test (set once by the test program's main).
const std::wstring& VelmoraUnderTest();
void SetVelmoraUnderTest(const std::wstring& path);

// One line of the stand-ins' log: "<component> pid=<pid> <text>".
struct LogEntry {
  std::string component;
  unsigned long pid = 0;
  std::string text;
};
std::vector<LogEntry> ReadLog(const std::wstring& path);
// How many entries of `component` contain `text`.
size_t Count(const std::vector<LogEntry>& log, const std::string& component, const std::string& text);

// The registry view a program reads HKLM\SOFTWARE through: the 64-bit one for a 64-bit
// program, the redirected 32-bit one for a 32-bit program.
REGSAM RegistryViewOf(const std::wstring& program);

// Sets HKLM "...\App Paths\Guardian.exe" "Path" (the suite folder an installed machine has) in
// the given registry view, and puts back what was there.
class ScopedSuiteRegistration {
 public:
  ScopedSuiteRegistration(const std::wstring& suite_folder, REGSAM view);
  ~ScopedSuiteRegistration();
  ScopedSuiteRegistration(const ScopedSuiteRegistration&) = delete;
  ScopedSuiteRegistration& operator=(const ScopedSuiteRegistration&) = delete;

 private:
  REGSAM view_;
  bool key_existed_ = false;
  std::optional<std::wstring> saved_;
};

using ScopedTempFolder = TempFolder;

}  // namespace velmora::test
