#include "providers/file_replace.h"

#include <windows.h>

#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {

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
  if (!::MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace velmora
