#include "config/config_rules.h"

#include <windows.h>
#include <shlwapi.h>

namespace velmora {
namespace {

std::wstring ChildAttribute(const CXmlDocument& document, std::wstring_view element, std::wstring_view attribute) {
  const XmlElement* root = document.Root();
  const XmlElement* child = root ? root->FirstChild(element) : nullptr;
  return child ? child->Attribute(attribute) : std::wstring();
}

std::wstring WideLower(std::wstring_view text) {
  std::wstring out(text);
  // CharLowerBuffW folds per character with the system's tables (not only A-Z), in place, and
  // takes a DWORD count.
  if (!out.empty()) ::CharLowerBuffW(out.data(), static_cast<DWORD>(out.size()));
  return out;
}

}  // namespace

std::vector<std::wstring> SplitAtBars(std::wstring_view text) {
  std::vector<std::wstring> pieces;
  if (text.empty()) return pieces;
  size_t start = 0;
  while (pieces.size() < kMaxBarListEntries) {
    const size_t bar = text.find(L'|', start);
    if (bar == std::wstring_view::npos) {
      pieces.emplace_back(text.substr(start));
      break;
    }
    pieces.emplace_back(text.substr(start, bar - start));
    start = bar + 1;
  }
  return pieces;
}

std::vector<std::wstring> DeriveUploadExclusions(const CXmlDocument& document) {
  return SplitAtBars(ChildAttribute(document, L"kelu_upload", L"unsupport"));
}

std::vector<std::wstring> DeriveRecentExclusions(const CXmlDocument& document) {
  std::vector<std::wstring> patterns = SplitAtBars(ChildAttribute(document, L"recent_app", L"exclude"));
  if (patterns.empty()) patterns = {L"*Velmora.exe", L"*PhoneExperienceHost.exe", L"*SnapTool.exe"};
  return patterns;
}

bool MatchWildcard(std::wstring_view text_in, std::wstring_view pattern_in) {
  const std::wstring text = WideLower(text_in);
  const std::wstring pattern = WideLower(pattern_in);
  size_t t = 0;
  size_t p = 0;
  bool star_seen = false;
  size_t after_star = 0;  // pattern position just after the most recent "*"
  size_t attempt = 0;     // text position where the current attempt at that "*" started
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      while (p < pattern.size() && pattern[p] == L'*') ++p;
      if (p == pattern.size()) return true;  // a final star takes the rest at once
      star_seen = true;
      after_star = p;
      attempt = t;
    } else if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (star_seen) {
      // Let the star swallow one more character and try the rest again.
      p = after_star;
      t = ++attempt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

bool IsUploadExcluded(const std::vector<std::wstring>& exclusions, std::wstring_view file_path) {
  const std::wstring path(file_path);  // PathFindExtensionW needs the terminator
  const std::wstring_view extension = ::PathFindExtensionW(path.c_str());
  for (const std::wstring& entry : exclusions) {
    if (entry == extension) return true;
  }
  return false;
}

}  // namespace velmora
