// File helpers shared by the tests that build folder trees of their own.
#pragma once

#include <string>
#include <string_view>

namespace velmora::test {

// "\\?\" in front, so the file functions take paths beyond MAX_PATH.
std::wstring Long(const std::wstring& path);

// Removes `folder` and everything below it; missing parts are no error.
void DeleteTree(const std::wstring& folder);

// Copies the folder `from` with everything below it to `to` (created; files overwritten).
// False when anything could not be copied.
bool CopyTree(const std::wstring& from, const std::wstring& to);

// Changes one byte in the middle of the file, as a damaged or tampered copy has it.
void FlipMiddleByte(const std::wstring& path);

// `relative` in the folder of this test program, where the build puts its helper programs.
std::wstring TestProgramFile(const std::wstring& relative);
// `relative` in the build's suite folder (the stand-ins at their installed places).
std::wstring BuiltSuiteFile(const std::wstring& relative);

// Makes every folder of `path` up to its last backslash.
void CreateFolders(const std::wstring& path);

// The whole file; empty when it cannot be read.
std::string ReadAll(const std::wstring& path);

// Makes the file hold exactly `bytes` (created or truncated; its folders made first). False when it
// could not be written.
bool WriteAll(const std::wstring& path, std::string_view bytes);

// A fresh, empty folder of the test's own under the temporary folder, "<prefix><pid>_<n>";
// removed with everything in it by the destructor.
class TempFolder {
 public:
  explicit TempFolder(const wchar_t* prefix = L"Velmora");
  ~TempFolder() { DeleteTree(path_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& path() const { return path_; }
  // `relative` inside the folder.
  std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

 private:
  std::wstring path_;
};

}  // namespace velmora::test
