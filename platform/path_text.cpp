#include "platform/path_text.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <vector>

namespace velmora {
namespace {

// The pieces of `text` between separators (empty pieces included).
std::vector<std::wstring_view> SplitComponents(std::wstring_view text) {
  std::vector<std::wstring_view> pieces;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || IsPathSeparator(text[i])) {
      pieces.push_back(text.substr(start, i - start));
      start = i + 1;
    }
  }
  return pieces;
}

// Applies one component to the path being built. The first `root` parts are never removed, and a
// rooted path does not climb above its root.
void ApplyComponent(std::wstring_view piece, size_t root, bool rooted, std::vector<std::wstring>* parts) {
  if (piece.empty() || piece == L".") return;
  if (piece == L"..") {
    if (parts->size() > root && parts->back() != L"..") {
      parts->pop_back();
      return;
    }
    if (rooted) return;
  }
  parts->emplace_back(piece);
}

}  // namespace

bool IsPathSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

std::wstring_view TrimLeadingSeparators(std::wstring_view path) {
  while (!path.empty() && IsPathSeparator(path.front())) path.remove_prefix(1);
  return path;
}

std::wstring_view TrimTrailingSeparators(std::wstring_view path) {
  while (!path.empty() && IsPathSeparator(path.back())) path.remove_suffix(1);
  return path;
}

std::wstring JoinPath(std::wstring_view base, std::wstring_view more) {
  std::wstring joined(base);
  if (!joined.empty() && !IsPathSeparator(joined.back())) joined += L'\\';
  joined += TrimLeadingSeparators(more);
  return joined;
}

std::wstring AppendPathComponents(std::wstring_view base, std::wstring_view relative) {
  // What stays whatever ".." says: "\\server\share" (also "\\?\X:"), a drive "X:", or the "\"
  // of a path rooted on the current drive.
  const std::vector<std::wstring_view> base_pieces = SplitComponents(base);
  std::wstring prefix;
  std::vector<std::wstring> parts;
  size_t first = 0;
  if (base.size() >= 2 && IsPathSeparator(base[0]) && IsPathSeparator(base[1])) {
    prefix = L"\\\\";
    for (first = 2; first < base_pieces.size() && parts.size() < 2; ++first) parts.emplace_back(base_pieces[first]);
  } else if (!base.empty() && IsPathSeparator(base[0])) {
    prefix = L"\\";
    first = 1;
  } else if (base.size() >= 2 && base[1] == L':') {
    parts.emplace_back(base.substr(0, 2));
    first = 1;
  }
  const size_t root = parts.size();
  const bool rooted = !prefix.empty() || root > 0;
  // "X:name" (relative to the drive's current folder) keeps its first name.
  if (root == 1 && prefix.empty() && base_pieces[0].size() > 2) {
    ApplyComponent(base_pieces[0].substr(2), root, rooted, &parts);
  }
  for (size_t i = first; i < base_pieces.size(); ++i) ApplyComponent(base_pieces[i], root, rooted, &parts);
  for (std::wstring_view piece : SplitComponents(relative)) ApplyComponent(piece, root, rooted, &parts);

  std::wstring joined = prefix;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += L'\\';
    joined += parts[i];
  }
  // A drive alone means the drive's root folder, not its current folder.
  if (prefix.empty() && root == 1 && parts.size() == 1) joined += L'\\';
  if (!relative.empty() && IsPathSeparator(relative.back()) && !joined.empty() && joined.back() != L'\\') {
    joined += L'\\';
  }
  return joined;
}

void RemoveTrailingElements(std::wstring& path, unsigned count) {
  for (; count > 0 && !path.empty(); --count) {
    const size_t before = path.size();
    // Works in place and never lengthens the text, so a path beyond MAX_PATH is safe here.
    ::PathRemoveFileSpecW(path.data());
    path.resize(std::wcslen(path.c_str()));
    if (path.size() == before) break;
  }
}

bool PathStartsWithIgnoreCase(std::wstring_view path, std::wstring_view prefix) {
  if (prefix.empty() || path.size() < prefix.size() || prefix.size() > INT_MAX) return false;
  const int length = static_cast<int>(prefix.size());
  return ::CompareStringOrdinal(path.data(), length, prefix.data(), length, /*bIgnoreCase=*/TRUE) == CSTR_EQUAL;
}

bool PathEqualsIgnoreCase(std::wstring_view a, std::wstring_view b) {
  return a.size() == b.size() && (a.empty() || PathStartsWithIgnoreCase(a, b));
}

std::optional<std::wstring> CanonicalLocalPath(std::wstring_view path) {
  return CanonicalLocalPath(path, MAX_PATH - 1);
}

std::optional<std::wstring> CanonicalLocalPath(std::wstring_view path, size_t max_chars) {
  std::wstring text(path);
  for (wchar_t& c : text) {
    if (c == L'/') c = L'\\';
  }
  // "X:\..." only: no relative or drive-relative path, no share, no device or raw namespace.
  const bool drive_rooted = text.size() >= 3 && text[1] == L':' && text[2] == L'\\' &&
                            ((text[0] >= L'A' && text[0] <= L'Z') || (text[0] >= L'a' && text[0] <= L'z'));
  if (!drive_rooted || text.find(L'\0') != std::wstring::npos) return std::nullopt;
  std::wstring canonical(std::min<size_t>(max_chars, kLongestPathChars) + 1, L'\0');
  const DWORD length = ::GetFullPathNameW(text.c_str(), static_cast<DWORD>(canonical.size()), canonical.data(), nullptr);
  if (length == 0 || length >= canonical.size()) return std::nullopt;
  canonical.resize(length);
  // A reserved device name ("C:\x\CON") comes back as "\\.\CON".
  if (canonical.size() < 3 || canonical[1] != L':' || canonical[2] != L'\\') return std::nullopt;
  return canonical;
}

}  // namespace velmora
