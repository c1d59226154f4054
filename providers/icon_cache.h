// Icons of programs and documents by their icon source text (a path, or a command line that
// names one), extracted once per source in the sizes 48, 32 and 16 and kept until the cache is
// destroyed. Used by the commonly used items worker only; the cache has no lock of its own.
#pragma once

#include <windows.h>

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

class CIconCache {
 public:
  CIconCache() = default;
  CIconCache(const CIconCache&) = delete;
  CIconCache& operator=(const CIconCache&) = delete;

  // The 32-pixel icon of `source` with icon `index`; the cache keeps ownership. Sources that clean
  // to the same text share one entry. Null when the path does not exist or holds no icon in any
  // way (a missing path is looked at again on the next call).
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
};

}  // namespace velmora
