// Paths as text: separators, joining, trimming, comparing and normalising, without asking the
// file system whether anything exists. "\" and "/" both separate. Every function may be called
// from any thread; none throws other than std::bad_alloc.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// True for "\" and "/".
bool IsPathSeparator(wchar_t c);

// `path` without the separators at its start, or at its end.
std::wstring_view TrimLeadingSeparators(std::wstring_view path);
std::wstring_view TrimTrailingSeparators(std::wstring_view path);

// `base`, a "\" unless `base` is empty or already ends in a separator, then `more` without its
// leading separators, so `more` is always taken as relative. JoinPath("C:\a", "") is "C:\a\".
std::wstring JoinPath(std::wstring_view base, std::wstring_view more);

// `base` with each "\"-separated component of `relative` appended: "." is dropped, ".." removes
// the last component (never the root: "X:" or "\\server\share"), "/" counts as "\". A trailing
// separator on `relative` is kept.
std::wstring AppendPathComponents(std::wstring_view base, std::wstring_view relative);

// Removes up to `count` trailing elements the way PathRemoveFileSpecW does ("C:\a\b" -> "C:\a",
// "C:\a" -> "C:\"), stopping at a root. Works on paths of any length.
void RemoveTrailingElements(std::wstring& path, unsigned count);

// Case-insensitive the way the file system compares names (ordinal, every letter, not just A-Z).
// An empty `prefix` starts nothing; two empty texts are equal.
bool PathStartsWithIgnoreCase(std::wstring_view path, std::wstring_view prefix);
bool PathEqualsIgnoreCase(std::wstring_view a, std::wstring_view b);

// The full local path `path` names, as the system will open it: "/" read as "\\", "." and ".."
// resolved (GetFullPathNameW). Nothing for a relative path, for UNC, "\\?\" and "\\.\" paths, for a
// name the system maps to a device, and for a result of MAX_PATH characters or more. A file to be
// trusted is checked, loaded and started by this text, never by the one it came from.
std::optional<std::wstring> CanonicalLocalPath(std::wstring_view path);

// The longest path the system's wide functions take ("\\?\" form), and CanonicalLocalPath for
// results of up to `max_chars` characters (at most kLongestPathChars); such a path is opened in
// the "\\?\" form.
constexpr size_t kLongestPathChars = 32767;
std::optional<std::wstring> CanonicalLocalPath(std::wstring_view path, size_t max_chars);

}  // namespace velmora
