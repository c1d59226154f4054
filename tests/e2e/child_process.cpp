#include "tests/e2e/child_process.h"

#include <shellapi.h>

#include <map>

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

}  // namespace

ChildResult RunChild(const std::wstring& exe, const std::wstring& arguments, DWORD timeout_ms,
                     const EnvironmentOverrides& environment) {
  ChildResult result;
  std::wstring command_line = L"\"" + exe + L"\"";
  if (!arguments.empty()) command_line += L" " + arguments;
  std::vector<wchar_t> env = BuildEnvironment(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  if (!::CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                        env.data(), nullptr, &startup, &info)) {
    return result;
  }
  result.started = true;
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);

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
    if (wait != WAIT_OBJECT_0 + 1) break;
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

ScopedTempFolder::ScopedTempFolder() {
  wchar_t temp[MAX_PATH];
  const DWORD length = ::GetTempPathW(MAX_PATH, temp);
  if (length == 0 || length >= MAX_PATH) return;
  path_ = std::wstring(temp, length) +
          FormatW(L"velmora-test-%lu-%llu", ::GetCurrentProcessId(), static_cast<unsigned long long>(::GetTickCount64()));
  ::CreateDirectoryW(path_.c_str(), nullptr);
}

ScopedTempFolder::~ScopedTempFolder() {
  if (path_.empty()) return;
  std::wstring from = path_;
  from.push_back(L'\0');  // SHFileOperation takes a double-terminated list
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  ::SHFileOperationW(&op);
}

}  // namespace velmora::test
