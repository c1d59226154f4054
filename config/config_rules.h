// The two rules carried by the installed configuration file ("Utils\VelmoraCfg.xml"): which file
// types are never handed to the AI assistant, and which programs never appear among the commonly
// used items. Pure functions of the loaded document, so the settings store decides when to
// derive and what to cache. Any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml/xml_document.h"

namespace velmora {

// A bar list never yields more entries than this; the rest of a longer text is dropped so that a
// hostile file cannot make every later match cost millions of comparisons.
constexpr size_t kMaxBarListEntries = 1024;

// Splits at every "|": empty pieces are kept ("a||b" gives three, a trailing bar a final empty
// piece), nothing is trimmed or case-folded. An empty text gives no pieces.
std::vector<std::wstring> SplitAtBars(std::wstring_view text);

// The `unsupport` attribute of the root's first direct child `kelu_upload`, split at bars:
// extensions with their leading dot. Empty when the document, element or attribute is missing.
std::vector<std::wstring> DeriveUploadExclusions(const CXmlDocument& document);

// The `exclude` attribute of the root's first direct child `recent_app`, split at bars: path
// patterns for MatchWildcard. When that gives no entry: "*Velmora.exe",
// "*PhoneExperienceHost.exe", "*SnapTool.exe".
std::vector<std::wstring> DeriveRecentExclusions(const CXmlDocument& document);

// True when the whole of `text` matches `pattern`, both lower-cased first: "?" matches one
// character, "*" any run (the empty one included). Runs in O(text * pattern) at worst.
bool MatchWildcard(std::wstring_view text, std::wstring_view pattern);

// True when the path's extension, as PathFindExtensionW finds it (from the last dot of the file
// name, dot included; empty when none), equals one of `exclusions` exactly, case significant.
bool IsUploadExcluded(const std::vector<std::wstring>& exclusions, std::wstring_view file_path);

}  // namespace velmora
