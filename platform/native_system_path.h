// The native system folder as a 32-bit program on 64-bit Windows reaches it. There, "System32"
// names the 32-bit system folder (SysWOW64) in every file-system call of the process, and the
// alias "Sysnative" under the Windows folder names the real one.
//
// A file that must be the system's own (a program in the system folder that the page starts or
// that the user used recently, the calculator, their icons) is reached through that alias. The
// alternative, switching redirection off for the thread, also sends every library the thread
// loads meanwhile (the loader, COM, the shell, a delay-loaded import) to the 64-bit folder,
// where they fail, and a failed delay-loaded import stays failed for the process.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// `path` with a leading `system_folder` (compared without regard to case, "/" counting as "\",
// followed by a separator or the end) replaced by `native_folder`; `path` unchanged otherwise.
// Pure.
std::wstring RespellSystemFolder(std::wstring_view path, std::wstring_view system_folder,
                                 std::wstring_view native_folder);

// In a 32-bit process on 64-bit Windows: `path` with the system folder (GetSystemDirectoryW)
// spelled "<Windows folder>\Sysnative", so that the file-system calls, starts and shell calls
// given it reach the native system folder. Elsewhere, or when the folders cannot be read, `path`
// unchanged. Any thread.
std::wstring NativeSystemPath(const std::wstring& path);

// GetFileAttributesW of NativeSystemPath(path): INVALID_FILE_ATTRIBUTES when nothing is there.
unsigned long NativeFileAttributes(const std::wstring& path);

}  // namespace velmora
