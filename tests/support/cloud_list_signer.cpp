#include "tests/support/cloud_list_signer.h"

#include <mbedtls/base64.h>
#include <mbedtls/pk.h>
#include <mbedtls/sha256.h>

#include <cstring>
#include <vector>

#include <json/value.h>
#include <json/writer.h>

#include "tests/data/cloud_list_test_key.h"

namespace velmora::test {
namespace {

std::string Base64(const unsigned char* bytes, size_t size) {
  size_t length = 0;
  mbedtls_base64_encode(nullptr, 0, &length, bytes, size);
  std::vector<unsigned char> text(length + 1);
  mbedtls_base64_encode(text.data(), text.size(), &length, bytes, size);
  return std::string(reinterpret_cast<const char*>(text.data()), length);
}

std::string Compact(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  return Json::writeString(builder, value);
}

}  // namespace

std::string WrapSignedDocument(const std::string& document) {
  mbedtls_pk_context pk;
  mbedtls_pk_init(&pk);
  unsigned char hash[32] = {};
  std::vector<unsigned char> signature(MBEDTLS_PK_SIGNATURE_MAX_SIZE);
  size_t length = 0;
  const auto* key = reinterpret_cast<const unsigned char*>(test_keys::kCloudListPrivateKey);
  const auto* bytes = reinterpret_cast<const unsigned char*>(document.data());
  const bool signed_ok = mbedtls_pk_parse_key(&pk, key, std::strlen(test_keys::kCloudListPrivateKey) + 1, nullptr, 0) == 0 &&
                         mbedtls_sha256_ret(bytes, document.size(), hash, 0) == 0 &&
                         mbedtls_pk_sign(&pk, MBEDTLS_MD_SHA256, hash, sizeof(hash), signature.data(), &length,
                                         nullptr, nullptr) == 0;
  mbedtls_pk_free(&pk);
  Json::Value wrapped(Json::objectValue);
  wrapped["data"] = Base64(bytes, document.size());
  wrapped["sign"] = signed_ok ? Base64(signature.data(), length) : std::string();
  return Compact(wrapped);
}

std::string ToolListDocument(const std::string& elements) {
  Json::Value document(Json::objectValue);
  document["data"] = elements;
  return Compact(document);
}

}  // namespace velmora::test
