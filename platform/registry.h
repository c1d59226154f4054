// Reading registry strings and key names with a bound on what is read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora {

// A REG_SZ or REG_EXPAND_SZ value of at most `max_chars` characters, unexpanded. Other types,
// longer values (refused, not cut) and values stored without their terminator answer nullopt.
[[nodiscard]] std::optional<std::wstring> QueryRegistryString(HKEY root, const std::wstring& subkey,
                                                              const std::wstring& name, size_t max_chars);

// The names of `key`'s subkeys of at most `max_chars` characters, in index order; longer names
// are skipped. The enumeration ends at the first other failure (a key deleted while open answers
// ERROR_KEY_DELETED at every index), with the names read so far.
std::vector<std::wstring> SubkeyNames(HKEY key, size_t max_chars);

}  // namespace velmora
