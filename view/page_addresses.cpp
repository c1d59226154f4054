#include "view/page_addresses.h"

#include "platform/build_constants.h"
#include "platform/suite_folder.h"
#include "platform/text.h"

namespace velmora {
namespace {

constexpr wchar_t kPagePath[] = L"/trevalis-desktop-ai-toolbar/index.html";

}  // namespace

std::wstring OnlinePageUrl(bool https) { return std::wstring(https ? L"https://" : L"http://") + kPageHost + kPagePath; }

std::wstring WithCacheBuster(const std::wstring& url, DWORD tick_count) {
  return FormatW(L"%ls?t=%d", url.c_str(), static_cast<int>(tick_count));
}

std::wstring ChooseFirstPage(bool online, DWORD os_major_version, bool package_exists, DWORD tick_count) {
  if (online) return WithCacheBuster(OnlinePageUrl(os_major_version >= 6), tick_count);
  return package_exists ? kLocalPageUrl : std::wstring();
}

std::wstring LocalPagePackagePath() {
  const std::wstring suite = GetSuiteFolder();
  return suite.empty() ? std::wstring() : suite + L"\\Utils\\VelmoraLocalWeb.zip";
}

}  // namespace velmora
