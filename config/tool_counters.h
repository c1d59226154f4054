// How often the page started each tool: one REG_DWORD counter per tool name under the
// settings' AITools subkey. Any thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace velmora {

// Adds one to `tool`'s counter; a missing or unreadable counter counts from 0.
void IncrementToolCounter(const std::wstring& tool);

// Tool names by count, highest first; equal counts keep the registry's order. Values that are not
// 4 bytes are skipped.
std::vector<std::wstring> ListToolsByCount();

// The same for the open counters key `key`.
std::vector<std::wstring> ListToolsByCountIn(HKEY key);

}  // namespace velmora
