// File helpers shared by the tests that build folder trees of their own.
#pragma once

#include <string>

namespace velmora::test {

// "\\?\" in front, so the file functions take paths beyond MAX_PATH.
std::wstring Long(const std::wstring& path);

// Removes `folder` and everything below it; missing parts are no error.
void DeleteTree(const std::wstring& folder);

// Copies the folder `from` with everything below it to `to` (created; files overwritten).
// False when anything could not be copied.
bool CopyTree(const std::wstring& from, const std::wstring& to);

// Changes one byte in the middle of the file, as a damaged or tampered copy has it.
void FlipMiddleByte(const std::wstring& path);

}  // namespace velmora::test
