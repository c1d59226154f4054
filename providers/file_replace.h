// Replacing a file's whole content so that a reader sees the old content or the new one, never a
// part: the bytes go to a temporary file in the same folder, are flushed, and the temporary file
// then takes the target's name in one step.
#pragma once

#include <cstddef>
#include <string>

namespace velmora {

// False when the temporary file cannot be made or written, or the replacement fails; the target
// is then as it was and no temporary file is left. Any thread; callers that write the same target
// from several threads serialise themselves.
bool ReplaceFileContents(const std::wstring& path, const void* data, size_t size);

}  // namespace velmora
