// Where the bridge mode takes the page's files from: the page package (a zip whose entries are
// stored uncompressed, as the build writes it) or, while the page is being developed, a folder.
// Read-only once made; any thread may read.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace standin {

// True for a path that can only name a file inside a folder: segments of letters, digits, '.',
// '-' and '_', separated by single '/', none empty and none beginning with '.' (so no "..",
// no hidden files, no drive, no backslash, no leading '/').
bool IsSafeRelativePath(std::string_view path);

class PageFiles {
 public:
  // Every stored file of the package at `zip_path`; nullopt when the file cannot be read, is not
  // a zip, or holds a compressed or damaged entry.
  static std::optional<PageFiles> FromPackage(const std::wstring& zip_path);
  // The files under `folder`, read from disk at each request.
  static PageFiles FromFolder(const std::wstring& folder);

  // The content of `relative` (checked with IsSafeRelativePath), or nullopt.
  std::optional<std::string> Read(std::string_view relative) const;

 private:
  std::map<std::string, std::string, std::less<>> package_;
  std::wstring folder_;
};

// The whole content of a file, or nullopt.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

}  // namespace standin
