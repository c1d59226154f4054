// File helpers shared by the tests that build folder trees of their own.
#pragma once

#include <string>

namespace velmora::test {

// "\\?\" in front, so the file functions take paths beyond MAX_PATH.
std::wstring Long(const std::wstring& path);

// Removes `folder` and everything below it; missing parts are no error.
void DeleteTree(const std::wstring& folder);

}  // namespace velmora::test
