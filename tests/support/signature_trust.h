// A file-trust service for tests and tools: a file's own signature decides, as the suite's
// service does (our signer: trusted class 1; anything else: the untrusted class).
#pragma once

#include <optional>
#include <string>

#include "platform/module_signature.h"
#include "platform/trust.h"

namespace velmora::test {

inline std::optional<int> TrustClassBySignature(const std::wstring& path) {
  return VerifyModuleSignature(path) ? 1 : kUntrustedFileClass;
}

}  // namespace velmora::test
