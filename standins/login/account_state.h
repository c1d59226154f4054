// The stand-in login stack's signed-in account, shared by its libraries (and by processes): a
// UTF-16 file of "name=value" lines named by the environment variable VELMORA_STANDIN_ACCOUNT
// (default "%TEMP%\VelmoraStandinAccount.txt"). Empty or missing: nobody is signed in.
// Names: nike_name, qid, real_email, account_type, head_image, cookie, account_kind.
#pragma once

#include <windows.h>

#include <map>
#include <string>

namespace standin {

inline std::wstring AccountStatePath() {
  wchar_t path[MAX_PATH] = {};
  DWORD length = ::GetEnvironmentVariableW(L"VELMORA_STANDIN_ACCOUNT", path, MAX_PATH);
  if (length > 0 && length < MAX_PATH) return path;
  length = ::GetTempPathW(MAX_PATH, path);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(path) + L"VelmoraStandinAccount.txt";
}

inline void WriteAccountState(const std::wstring& text) {
  HANDLE file = ::CreateFileW(AccountStatePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
  ::CloseHandle(file);
}

inline std::map<std::wstring, std::wstring> ReadAccountState() {
  std::map<std::wstring, std::wstring> fields;
  HANDLE file = ::CreateFileW(AccountStatePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fields;
  std::wstring text;
  wchar_t chunk[1024];
  DWORD read = 0;
  while (::ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read >= sizeof(wchar_t)) {
    text.append(chunk, read / sizeof(wchar_t));
  }
  ::CloseHandle(file);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(L'\n', at);
    if (end == std::wstring::npos) end = text.size();
    const std::wstring line = text.substr(at, end - at);
    const size_t equals = line.find(L'=');
    if (equals != std::wstring::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
    at = end + 1;
  }
  return fields;
}

}  // namespace standin
