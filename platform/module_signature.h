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

// True only for a full path whose Authenticode signature verifies, whose first signer is named
// kSignerName exactly and whose signer's chain ends at the CA key kSignerCaKeySha256. Revocation
// is checked from the local cache only: a certificate known to be revoked fails, no answer
// passes. Relative paths are refused without looking at any file. The file is opened once, with
// read sharing only, and verified through that handle.
[[nodiscard]] bool VerifyModuleSignature(const std::wstring& path);

// The same judgement of the file open as `file` (read access; `path` names it for the trust
// provider). The file is read through the handle only; the caller keeps it open until its use.
[[nodiscard]] bool VerifyModuleSignature(const std::wstring& path, HANDLE file);

}  // namespace velmora
