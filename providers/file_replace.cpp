#include "providers/file_replace.h"

#include <windows.h>

#include "platform/exact_path.h"
#include "platform/process_facts.h"
#include "platform/scoped_handle.h"
#include "platform/secure_random.h"
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

// "<path>.<16 random hex digits>.tmp"; empty when no random bytes could be had.
std::wstring UnguessableTemporaryName(const std::wstring& path) {
  unsigned char random[8] = {};
  if (!SystemRandom(random, sizeof(random))) return {};
  std::wstring name = path + L".";
  for (const unsigned char byte : random) name += FormatW(L"%02x", byte);
  return name + L".tmp";
}

}  // namespace

bool ReplaceFileContents(const std::wstring& path, const void* data, size_t size) {
  if (path.empty() || size > MAXDWORD) return false;
  // A name nobody can guess, made new (never an existing file, nor a link placed under that name):
  // the user's processes share the folder with an elevated side bar.
  const std::wstring temporary_name = UnguessableTemporaryName(path);
  if (temporary_name.empty()) return false;
  std::wstring target = path;
  std::wstring temporary = temporary_name;
  if (temporary.size() >= MAX_PATH) {
    target = BeyondMaxPath(path);
    temporary = BeyondMaxPath(temporary);
  }
  {
    ScopedFileHandle file(::CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file.valid()) return false;
    // Elevated, no junction or link on the way may have led the file out of its folder.
    const bool placed = !IsProcessElevated() || OpensExactly(file.get(), temporary_name);
    DWORD written = 0;
    const bool complete = placed &&
                          (size == 0 || (::WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr) &&
                                         written == size)) &&
                          ::FlushFileBuffers(file.get());
    if (!complete) {
      FILE_DISPOSITION_INFO disposition{};
      disposition.DeleteFile = TRUE;  // through the handle: wherever it was made
      ::SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof(disposition));
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
