#include "providers/file_replace.h"

#include <windows.h>

#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr int kReplaceAttempts = 10;
constexpr DWORD kReplaceRetryMs = 20;

}  // namespace

bool ReplaceFileContents(const std::wstring& path, const void* data, size_t size) {
  if (path.empty() || size > MAXDWORD) return false;
  const std::wstring temporary = FormatW(L"%ls.%lu.tmp", path.c_str(), ::GetCurrentThreadId());
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
    if (::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = ::GetLastError();
    if (attempt == kReplaceAttempts - 1 || (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) break;
    ::Sleep(kReplaceRetryMs);
  }
  ::DeleteFileW(temporary.c_str());
  return false;
}

}  // namespace velmora
