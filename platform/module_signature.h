// Our own check of a module's code signature before we trust it: Authenticode, and the signer must
// be the suite's signer. Every function here is safe on any thread, reads the file by path, and
// answers failure with a result; none throws.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// WinVerifyTrust on the signature embedded in `path`, without UI and without revocation checks.
// 0 when it verifies, else the trust error (TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST, ...).
[[nodiscard]] LONG VerifyAuthenticode(const std::wstring& path);

// The simple display name (the CN) of the first signer of the signature embedded in `path`.
// Does not check the signature; empty when the file has none or on any failure.
std::wstring GetSignerSubjectName(const std::wstring& path);

// True only for a full path whose Authenticode signature verifies and whose first signer is
// named kSignerName exactly. Relative paths are refused without looking at any file.
[[nodiscard]] bool VerifyModuleSignature(const std::wstring& path);

}  // namespace velmora
