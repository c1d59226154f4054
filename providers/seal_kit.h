// The data-unwrapping library Tidy\SealKit.dll, bound once per process for the cloud tool list.
#pragma once

#include <windows.h>

namespace velmora {

// Unwraps `input` (NUL-terminated) with the PEM public key `key`: non-zero with a non-null,
// NUL-terminated UTF-8 `*output` of `*length` bytes on success; the text is given back with
// FreeRsaData.
using DecyptRsaDataFn = int(__cdecl*)(const char* key, const char* input, char** output, unsigned int* length);
using FreeRsaDataFn = void(__cdecl*)(char* data);

struct SealKitEntries {
  DecyptRsaDataFn decrypt = nullptr;
  FreeRsaDataFn free = nullptr;
};

// Loads "<suite>\Tidy\SealKit.dll" through the trusted loader and resolves both exports, unless
// already bound. True when both exist; otherwise the library is unloaded again (a later call
// tries anew). Main thread.
bool BindSealKit();

// The bound entries; both null until BindSealKit succeeded.
SealKitEntries GetSealKit();

}  // namespace velmora
