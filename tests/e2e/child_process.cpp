#include "tests/e2e/child_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora::test {
namespace {

// An environment block with `overrides` applied; names compare without regard to case.
std::vector<wchar_t> BuildEnvironment(const EnvironmentOverrides& overrides) {
  std::map<std::wstring, std::wstring> variables;  // key: upper-cased name
  std::map<std::wstring, std::wstring> spelled;
  if (wchar_t* block = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text(entry);
      const size_t equals = text.find(L'=', 1);  // "=C:=C:\dir" entries start with '='
      if (equals == std::wstring::npos) continue;
      const std::wstring name = text.substr(0, equals);
      variables[AsciiUpper(name)] = text.substr(equals + 1);
      spelled[AsciiUpper(name)] = name;
    }
    ::FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : overrides) {
    variables[AsciiUpper(name)] = value;
    spelled[AsciiUpper(name)] = name;
  }
  std::vector<wchar_t> block;
  for (const auto& [key, value] : variables) {
    const std::wstring entry = spelled[key] + L"=" + value;
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

std::wstring g_velmora;

}  // namespace

const std::wstring& VelmoraUnderTest() { return g_velmora; }
void SetVelmoraUnderTest(const std::wstring& path) { g_velmora = path; }

HANDLE StartChild(const std::wstring& exe, const std::wstring& arguments, const EnvironmentOverrides& environment) {
  std::wstring command_line = L"\"" + exe + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  std::vector<wchar_t> env = BuildEnvironment(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  // Under Wine, CreateProcessW now and then fails at once for a program that starts every other
  // time (seen about once in twelve end-to-end runs, once for a program copied a moment before).
  // One more attempt is made after a pause; the first failure is printed, not hidden.
  for (int attempt = 1;; ++attempt) {
    if (::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                         env.data(), nullptr, &startup, &info)) {
      break;
    }
    const DWORD error = ::GetLastError();
    const std::string what = "could not start \"" + WideToUtf8(exe) + "\" " + WideToUtf8(arguments) + ": error " +
                             std::to_string(error);
    if (attempt == 2) {
      ADD_FAILURE() << what;
      return nullptr;
    }
    std::fprintf(stderr, "%s; trying once more\n", what.c_str());
    ::Sleep(1000);
  }
  ::CloseHandle(info.hThread);
  return info.hProcess;
}

ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, DWORD timeout_ms,
                     const EnvironmentOverrides& environment) {
  ChildResult result;
  ScopedHandle process(StartChild(exe, arguments, environment));
  if (!process) return result;
  result.started = true;

  const ULONGLONG deadline = ::GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = ::GetTickCount64();
    if (now >= deadline) break;
    HANDLE handles[] = {process.get()};
    const DWORD wait = ::MsgWaitForMultipleObjects(1, handles, FALSE, static_cast<DWORD>(deadline - now),
                                                   QS_SENDMESSAGE);
    if (wait == WAIT_OBJECT_0) {
      result.finished = true;
      break;
    }
    if (wait != WAIT_OBJECT_0 + 1) {
      if (wait != WAIT_TIMEOUT) {
        ADD_FAILURE() << "waiting for " << WideToUtf8(arguments) << ": " << wait << ", error " << ::GetLastError();
      }
      break;
    }
    // Answers messages the child sends to our windows; posted ones stay queued for the test.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  if (!result.finished) {
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 5000);
  }
  ::GetExitCodeProcess(process.get(), &result.exit_code);
  return result;
}

std::vector<LogEntry> ReadLog(const std::wstring& path) {
  std::vector<LogEntry> entries;
  std::ifstream in(WideToUtf8(path).c_str());
  std::string line;
  while (std::getline(in, line)) {
    LogEntry entry;
    std::istringstream fields(line);
    std::string pid;
    fields >> entry.component >> pid;
    if (pid.rfind("pid=", 0) != 0) continue;
    entry.pid = std::strtoul(pid.c_str() + 4, nullptr, 10);
    std::getline(fields >> std::ws, entry.text);
    entries.push_back(entry);
  }
  return entries;
}

size_t Count(const std::vector<LogEntry>& log, const std::string& component, const std::string& text) {
  size_t count = 0;
  for (const LogEntry& e : log) count += e.component == component && e.text.find(text) != std::string::npos;
  return count;
}

namespace {
constexpr wchar_t kAppPathsKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Guardian.exe";
}  // namespace

REGSAM RegistryViewOf(const std::wstring& program) {
  DWORD type = 0;
  return ::GetBinaryTypeW(program.c_str(), &type) && type == SCS_64BIT_BINARY ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

ScopedSuiteRegistration::ScopedSuiteRegistration(const std::wstring& suite_folder, REGSAM view) : view_(view) {
  HKEY key = nullptr;
  key_existed_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_QUERY_VALUE | view_, &key) == ERROR_SUCCESS;
  if (key_existed_) {
    wchar_t value[MAX_PATH] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    if (::RegQueryValueExW(key, L"Path", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS) {
      saved_ = value;
    }
    ::RegCloseKey(key);
  }
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, nullptr, 0, KEY_SET_VALUE | view_, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
    ::RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(suite_folder.c_str()),
                     static_cast<DWORD>((suite_folder.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }
}

ScopedSuiteRegistration::~ScopedSuiteRegistration() {
  if (!key_existed_) {
    ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, view_, 0);
    return;
  }
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_SET_VALUE | view_, &key) != ERROR_SUCCESS) return;
  if (saved_) {
    ::RegSetValueExW(key, L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_->c_str()),
                     static_cast<DWORD>((saved_->size() + 1) * sizeof(wchar_t)));
  } else {
    ::RegDeleteValueW(key, L"Path");
  }
  ::RegCloseKey(key);
}

}  // namespace velmora::test
