#include "bridge/page_crypto.h"

#include <windows.h>

#include <limits>
#include <optional>

#include <json/value.h>
#include <mbedtls/aes.h>
#include <mbedtls/md5.h>

#include "bridge/page_arguments.h"
#include "platform/base64.h"

namespace velmora {
namespace {

// Shared with the page's web service, which recomputes the signature.
constexpr wchar_t kSigningSecret[] = L"5c0e8a7b31d94f26a0b7c3e1d2f48a69";

constexpr size_t kAesBlockSize = 16;

// 8-bit text of `text` in `code_page`. Characters the code page lacks become its default
// character, so non-ASCII never passes as Base64.
std::string WideToCodePage(UINT code_page, std::wstring_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
  const int size = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(code_page, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  const int written = ::WideCharToMultiByte(code_page, 0, text.data(), size, out.data(), needed, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::wstring CodePageToWide(UINT code_page, std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(std::numeric_limits<int>::max())) return {};
  const int size = static_cast<int>(text.size());
  const int needed = ::MultiByteToWideChar(code_page, 0, text.data(), size, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring out(static_cast<size_t>(needed), L'\0');
  const int written = ::MultiByteToWideChar(code_page, 0, text.data(), size, out.data(), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

// The page's values cross in the calling thread's ANSI code page; being Base64 they are ASCII.
std::string FromPage(std::wstring_view text) { return WideToCodePage(CP_THREAD_ACP, text); }
std::wstring ToPage(std::string_view text) { return CodePageToWide(CP_THREAD_ACP, text); }

// A key text member: a string holding Base64 of at most 16 bytes, zero-extended to 16.
std::optional<AesBlock> ReadKeyMember(const Json::Value& object, const char* name) {
  const Json::Value* member = object.find(name, name + std::char_traits<char>::length(name));
  if (!member || !member->isString()) return std::nullopt;
  const std::optional<std::string> bytes = Base64Decode(member->asString());
  if (!bytes || bytes->size() > kAesBlockSize) return std::nullopt;
  AesBlock block = {};
  std::copy(bytes->begin(), bytes->end(), block.begin());
  return block;
}

std::string_view AsText(const AesBlock& block) {
  return std::string_view(reinterpret_cast<const char*>(block.data()), block.size());
}

}  // namespace

std::string MakeKeyText(const AesBlock& key, const AesBlock& iv) {
  return "{\"key\":\"" + Base64Encode(AsText(key)) + "\", \"iv\":\"" + Base64Encode(AsText(iv)) + "\"}";
}

std::string Aes128CbcEncrypt(const AesBlock& key, const AesBlock& iv, std::string_view data) {
  const size_t pad = kAesBlockSize - data.size() % kAesBlockSize;
  std::string buffer(data);
  buffer.append(pad, static_cast<char>(pad));
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  AesBlock chain = iv;  // mbedTLS advances the IV in place
  auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
  const bool ok = mbedtls_aes_setkey_enc(&aes, key.data(), 128) == 0 &&
                  mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_ENCRYPT, buffer.size(), chain.data(), bytes, bytes) == 0;
  mbedtls_aes_free(&aes);
  return ok ? buffer : std::string();
}

std::string Aes128CbcDecrypt(const AesBlock& key, const AesBlock& iv, std::string_view cipher) {
  if (cipher.empty()) return {};
  std::string buffer(cipher);
  buffer.resize((cipher.size() + kAesBlockSize - 1) / kAesBlockSize * kAesBlockSize, '\0');
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  AesBlock chain = iv;
  auto* bytes = reinterpret_cast<unsigned char*>(buffer.data());
  const bool ok = mbedtls_aes_setkey_dec(&aes, key.data(), 128) == 0 &&
                  mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_DECRYPT, buffer.size(), chain.data(), bytes, bytes) == 0;
  mbedtls_aes_free(&aes);
  if (!ok) return {};
  const size_t pad = static_cast<unsigned char>(buffer.back());
  if (pad <= buffer.size()) buffer.resize(buffer.size() - pad);
  return buffer;
}

std::string Md5UpperHex(std::string_view bytes) {
  unsigned char digest[16];
  if (mbedtls_md5_ret(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest) != 0) return {};
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const unsigned char byte : digest) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

PageCipher Encrypt(std::wstring_view plaintext, const RandomSource& random, const RsaPublicKey& key) {
  // Text that is not Base64 fails here rather than passing as zero bytes of data.
  const std::string text = FromPage(plaintext);
  if (text.empty() != plaintext.empty()) return {};
  const std::optional<std::string> data = Base64Decode(text);
  if (!data) return {};

  AesBlock content_key, iv;
  if (!random || !random(content_key.data(), content_key.size()) || !random(iv.data(), iv.size())) return {};
  std::string wrapped;
  if (RsaWrap(key, MakeKeyText(content_key, iv), random, &wrapped) != kRsaOk) return {};

  PageCipher result;
  result.skey = ToPage(wrapped);
  if (!plaintext.empty()) result.q = ToPage(Base64Encode(Aes128CbcEncrypt(content_key, iv, *data)));
  return result;
}

std::wstring Decrypt(std::wstring_view skey, std::wstring_view q, const RsaPublicKey& key) {
  if (skey.empty() || q.empty()) return {};
  const std::optional<std::string> cipher = Base64Decode(FromPage(q));
  if (!cipher) return {};
  std::string key_text;
  if (RsaUnwrap(key, FromPage(skey), &key_text) != kRsaOk) return {};
  Json::Value object;
  if (!ParsePageJson(key_text, &object) || !object.isObject()) return {};
  const std::optional<AesBlock> content_key = ReadKeyMember(object, "key");
  const std::optional<AesBlock> iv = ReadKeyMember(object, "iv");
  if (!content_key || !iv) return {};
  return ToPage(Base64Encode(Aes128CbcDecrypt(*content_key, *iv, *cipher)));
}

std::wstring Sign(std::wstring_view signdata, std::wstring_view skey, std::wstring_view q) {
  std::wstring input;
  input.reserve(signdata.size() + skey.size() + q.size() + std::size(kSigningSecret));
  input.append(signdata).append(skey).append(q).append(kSigningSecret);
  const std::string hex = Md5UpperHex(WideToCodePage(CP_ACP, input));
  return std::wstring(hex.begin(), hex.end());
}

}  // namespace velmora
