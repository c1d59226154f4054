// File-system redirection as a 32-bit test program on 64-bit Windows sees it: which thread has it
// off, how the program names files of the native system folder, and which libraries the process
// loads while a thread has it off. In a 64-bit process nothing is redirected and no thread ever
// has redirection off.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace velmora::test {

// True for a 32-bit process on 64-bit Windows.
bool IsWow64Process();

// True when the calling thread has file-system redirection off: the system folder's kernel32.dll
// then opens as the 64-bit one, not as its 32-bit twin.
bool RedirectionIsOff();

// `name` in the native system folder as this process reaches it with redirection on (through
// "<Windows>\Sysnative" in a 32-bit process on 64-bit Windows).
std::wstring NativeSystemFile(const wchar_t* name);

// The file this process opens for "<system folder>\name": in a 32-bit process on 64-bit Windows
// the 32-bit twin in SysWOW64.
std::wstring OpenedSystemFile(const wchar_t* name);

// A file `name` in the native system folder, where only 64-bit programs see it without the alias:
// a copy of `source` unless one is there already (which is left alone), removed again by the
// destructor. `ok()` tells whether the file is there.
class ScopedNativeSystemFile {
 public:
  ScopedNativeSystemFile(const std::wstring& source, const wchar_t* name);
  ~ScopedNativeSystemFile();
  ScopedNativeSystemFile(const ScopedNativeSystemFile&) = delete;
  ScopedNativeSystemFile& operator=(const ScopedNativeSystemFile&) = delete;
  bool ok() const { return present_; }

 private:
  std::wstring path_;
  bool made_ = false;
  bool present_ = false;
};

// Records, from construction to destruction, each library the process loads while the loading
// thread has redirection off. One watch at a time.
class LibraryLoadWatch {
 public:
  LibraryLoadWatch();
  ~LibraryLoadWatch();
  LibraryLoadWatch(const LibraryLoadWatch&) = delete;
  LibraryLoadWatch& operator=(const LibraryLoadWatch&) = delete;

  bool watching() const { return cookie_ != nullptr; }
  std::vector<std::wstring> LoadedWithRedirectionOff() const;

 private:
  static void __stdcall OnLoad(unsigned long reason, const void* data, void* context);
  void* cookie_ = nullptr;
  mutable std::mutex lock_;
  std::vector<std::wstring> loaded_;
};

}  // namespace velmora::test
