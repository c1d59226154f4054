// Where the side bar's page comes from: the online page (HTTPS, or HTTP on old systems) with a
// cache-buster, or the local page package.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

constexpr wchar_t kLocalPageUrl[] = L"ravida://zivudiduvoz/index.html";

// The online page's address on the page host. Pure.
std::wstring OnlinePageUrl(bool https);

// `url` with the cache-buster "?t=<tick count>", the count printed as a signed number. Pure.
std::wstring WithCacheBuster(const std::wstring& url, DWORD tick_count);

// The page to open first: the online page (HTTPS, or HTTP on systems before major version 6)
// with its cache-buster when `online`, else the local page when the package exists, else empty
// (nothing can be shown). Pure.
std::wstring ChooseFirstPage(bool online, DWORD os_major_version, bool package_exists, DWORD tick_count);

// "<suite>\Utils\VelmoraLocalWeb.zip"; empty when the suite folder is unknown.
std::wstring LocalPagePackagePath();

}  // namespace velmora
