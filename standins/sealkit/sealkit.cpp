// Stand-in Tidy\SealKit.dll: unwraps the maker's signed documents. A wrapped document is a JSON
// object {"data": <Base64 of the inner document>, "sign": <Base64 of an RSA PKCS#1 v1.5
// signature over the inner document's bytes with SHA-256>}. The inner document is handed back
// only when the signature verifies with the caller's PEM public key.
#include <windows.h>

#include <mbedtls/base64.h>
#include <mbedtls/pk.h>
#include <mbedtls/sha256.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "standins/common/standin_log.h"

namespace {

bool DecodeBase64(const std::string& text, std::vector<unsigned char>* bytes) {
  size_t length = 0;
  const auto* source = reinterpret_cast<const unsigned char*>(text.data());
  if (mbedtls_base64_decode(nullptr, 0, &length, source, text.size()) == MBEDTLS_ERR_BASE64_INVALID_CHARACTER) {
    return false;
  }
  bytes->assign(length + 1, 0);
  if (mbedtls_base64_decode(bytes->data(), bytes->size(), &length, source, text.size()) != 0) return false;
  bytes->resize(length);
  return true;
}

bool Verify(const char* key, const std::vector<unsigned char>& inner, const std::vector<unsigned char>& signature) {
  mbedtls_pk_context pk;
  mbedtls_pk_init(&pk);
  unsigned char hash[32] = {};
  const bool verified =
      mbedtls_pk_parse_public_key(&pk, reinterpret_cast<const unsigned char*>(key), std::strlen(key) + 1) == 0 &&
      mbedtls_pk_get_type(&pk) == MBEDTLS_PK_RSA && mbedtls_pk_get_bitlen(&pk) >= 2048 &&
      mbedtls_sha256_ret(inner.data(), inner.size(), hash, 0) == 0 &&
      mbedtls_pk_verify(&pk, MBEDTLS_MD_SHA256, hash, sizeof(hash), signature.data(), signature.size()) == 0;
  mbedtls_pk_free(&pk);
  return verified;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl DecyptRsaData(const char* key, const char* input, char** output, unsigned int* length) {
  if (!key || !input || !output || !length) return 0;
  *output = nullptr;
  *length = 0;
  Json::Value wrapped;
  Json::CharReaderBuilder builder;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const size_t size = std::strlen(input);
  if (!reader->parse(input, input + size, &wrapped, &errors) || !wrapped.isObject() || !wrapped["data"].isString() ||
      !wrapped["sign"].isString()) {
    return 0;
  }
  std::vector<unsigned char> inner, signature;
  if (!DecodeBase64(wrapped["data"].asString(), &inner) || !DecodeBase64(wrapped["sign"].asString(), &signature) ||
      inner.empty() || !Verify(key, inner, signature)) {
    standin::Log("sealkit", "refused %u bytes", static_cast<unsigned>(size));
    return 0;
  }
  char* text = static_cast<char*>(std::malloc(inner.size() + 1));
  if (!text) return 0;
  std::memcpy(text, inner.data(), inner.size());
  text[inner.size()] = 0;
  *output = text;
  *length = static_cast<unsigned int>(inner.size());
  return 1;
}

__declspec(dllexport) void __cdecl FreeRsaData(char* data) { std::free(data); }

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) standin::LogLoaded(module);
  return TRUE;
}
