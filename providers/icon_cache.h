// Icons of programs and documents by their icon source text (a path, or a command line that
// names one), extracted once per source in the sizes 48, 32 and 16 and kept until the cache is
// destroyed. Used by the commonly used items worker only; the cache has no lock of its own.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>

#include "platform/scoped_handle.h"

namespace velmora {

// The path a source text names: lower-cased; a rundll32 command reduced to its library; cut before
// " //", " --", a " -" switch right after a four-character extension (not in a "- 副本" copy name),
// " %", " ," and ","; trimmed. Pure.
std::wstring CleanIconSource(std::wstring_view source);

// The path as extraction opens it: runs of "/" or "\" after the first character collapsed into
// one, double quotes removed. Pure.
std::wstring NormalizeIconPath(std::wstring_view path);

// Whether an icon path may be opened: a local drive path ("X:\...") whose drive passes
// `is_local_drive` (an internal fixed disk), never a server path. An icon location comes from a
// shortcut, which anyone may have made: opening "\\host\share\x.ico" would hand the user's
// network credentials to that host. Pure but for `is_local_drive`.
bool IsIconPathAllowed(std::wstring_view path, const std::function<bool(const std::wstring&)>& is_local_drive);

class CIconCache {
 public:
  // `is_local_drive` tells whether a drive ("C:") is an internal fixed disk; null: IsInternalFixedDisk,
  // asked once per drive.
  explicit CIconCache(std::function<bool(const std::wstring&)> is_local_drive = nullptr);
  CIconCache(const CIconCache&) = delete;
  CIconCache& operator=(const CIconCache&) = delete;

  // The 32-pixel icon of `source` with icon `index`; the cache keeps ownership. Sources that clean
  // to the same text share one entry. Null when the path is not allowed (IsIconPathAllowed), does
  // not exist or holds no icon in any way (a missing path is looked at again on the next call).
  HICON GetIcon(std::wstring_view source, int index);

  // How many sources have an entry.
  size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    ScopedIcon large;   // 48
    ScopedIcon medium;  // 32
    ScopedIcon small;   // 16
  };
  std::map<std::pair<std::wstring, int>, Entry> entries_;
  std::function<bool(const std::wstring&)> is_local_drive_;
};

}  // namespace velmora
