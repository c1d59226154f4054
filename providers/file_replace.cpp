#include "providers/file_replace.h"

#include <windows.h>

#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceRetryMs = 20;

// A drive path ("C:\...") in its "\\?\" form, which the file functions take beyond MAX_PATH: a
// target that just fits leaves no room for the temporary name beside it.
std::wstring BeyondMaxPath(const std::wstring& path) {
  const bool drive_path = path.size() > 3 && path[1] == L':' && path[2] == L'\\' &&
                          path.find(L'/') == std::wstring::npos;
  return drive_path ? L"\\\\?\\" + path : path;
}

}  // namespace

bool ReplaceFileContents(const std::wstring& path, const void* data, size_t size) {
  if (path.empty() || size > MAXDWORD) return false;
  std::wstring target = path;
  std::wstring temporary = FormatW(L"%ls.%lu.tmp", path.c_str(), ::GetCurrentThreadId());
  if (temporary.size() >= MAX_PATH) {
    target = BeyondMaxPath(path);
    temporary = BeyondMaxPath(temporary);
  }
  {
    ScopedFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) return false;
    DWORD written = 0;
    const bool complete = (size == 0 || (::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
                                         written == size)) &&
                          ::FlushFileBuffers(file.get());
    if (!complete) {
      file.reset();
      ::DeleteFileW(temporary.c_str());
      return false;
    }
  }
  // A reader that holds the target open without delete sharing (a scanner, an editor) blocks the
  // replacement for a moment: try again a few times before giving up.
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = ::GetLastError();
    if (attempt == kReplaceAttempts - 1 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) break;
    ::Sleep(kReplaceRetryMs);
  }
  ::DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace velmora
