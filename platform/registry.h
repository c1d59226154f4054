// Reading registry strings with a bound on what is read.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace velmora {

// A REG_SZ or REG_EXPAND_SZ value of at most `max_chars` characters, unexpanded. Other types,
// longer values (refused, not cut) and values stored without their terminator answer nullopt.
[[nodiscard]] std::optional<std::wstring> QueryRegistryString(HKEY root, const std::wstring& subkey,
                                                              const std::wstring& name, size_t max_chars);

}  // namespace velmora
