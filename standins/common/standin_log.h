// Stand-ins record what the program asked of them, one line per call, in the file named by the
// environment variable VELMORA_STANDIN_LOG (nothing is recorded when it is not set). Tests and
// the demo read that file.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <algorithm>

#include <cstdarg>
#include <cstdio>
#include <string>

namespace standin {

inline void Log(const char* component, const char* format, ...) {
  wchar_t path[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_STANDIN_LOG", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  char line[2300];
  const int size = std::snprintf(line, sizeof(line), "%s pid=%lu %s\n", component, ::GetCurrentProcessId(), text);
  if (size <= 0) return;
  // Appends are atomic per write, so several processes can share the file.
  HANDLE file = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, line, static_cast<DWORD>(std::min<size_t>(size, sizeof(line) - 1)), &written, nullptr);
  ::CloseHandle(file);
}

// Records that `module` was mapped into a process ("<file name> pid=<pid> loaded <path>") in the
// file named by VELMORA_STANDIN_LOAD_LOG, apart from the call log so that tests reading exact call
// sequences do not see it. A library that should have been refused shows up here. Call from
// DllMain on DLL_PROCESS_ATTACH: kernel32 only, which the loader lock allows.
inline void LogLoaded(HINSTANCE module) {
  wchar_t log[MAX_PATH], path[MAX_PATH];
  const DWORD length = ::GetEnvironmentVariableW(L"VELMORA_STANDIN_LOAD_LOG", log, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const DWORD path_length = ::GetModuleFileNameW(module, path, MAX_PATH);
  if (path_length == 0 || path_length >= MAX_PATH) return;
  const wchar_t* name = path;
  for (const wchar_t* c = path; *c; ++c) {
    if (*c == L'\\' || *c == L'/') name = c + 1;
  }
  char line[3 * MAX_PATH * 2 + 64];
  const int size = std::snprintf(line, sizeof(line), "%ls pid=%lu loaded %ls\n", name, ::GetCurrentProcessId(), path);
  if (size <= 0) return;
  HANDLE file = ::CreateFileW(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, line, static_cast<DWORD>(std::min<size_t>(size, sizeof(line) - 1)), &written, nullptr);
  ::CloseHandle(file);
}

inline std::string Narrow(const wchar_t* text) {
  if (!text) return "(null)";
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string out(static_cast<size_t>(size - 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  return out;
}

inline std::string GuidText(const GUID& id) {
  char text[40];
  std::snprintf(text, sizeof(text), "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0], id.Data4[1], id.Data4[2],
                id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6], id.Data4[7]);
  return text;
}

constexpr GUID kUnknownId = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// A minimal COM-style object: reference counted, deleted at zero.
template <typename Interface>
class RefCounted : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == kUnknownId || iid == iid_) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

 protected:
  explicit RefCounted(const GUID& iid) : iid_(iid) {}
  virtual ~RefCounted() = default;
  GUID iid_;

 private:
  LONG refs_ = 1;
};

}  // namespace standin
