// Page data encryption behind the Encrypt and Decrypt page commands. Data travels as AES-128-CBC
// cipher text (`q`) under a content key; the key and IV travel as the key text
// {"key":"<Base64>", "iv":"<Base64>"}, RSA-wrapped (`skey`, see rsa_wrap.h). Every value the page
// sees is Base64 text. Pure apart from the random source; any thread; nothing throws.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "bridge/rsa_wrap.h"
#include "platform/secure_random.h"

namespace velmora {

using AesBlock = std::array<unsigned char, 16>;

// The key text of a content key and IV: the one space, after the comma, is part of the format.
std::string MakeKeyText(const AesBlock& key, const AesBlock& iv);

// AES-128-CBC encryption of `data` after PKCS #7 padding (1 to 16 bytes, always added).
std::string Aes128CbcEncrypt(const AesBlock& key, const AesBlock& iv, std::string_view data);

// AES-128-CBC decryption of `cipher` zero-extended to whole blocks, length m. The last byte p
// counts the padding: dropped when p <= m, otherwise all m bytes are kept (no further checks).
std::string Aes128CbcDecrypt(const AesBlock& key, const AesBlock& iv, std::string_view cipher);

// MD5 digest of `bytes` as 32 upper-case hexadecimal digits.
std::string Md5UpperHex(std::string_view bytes);

struct PageCipher {
  std::wstring q;     // Base64 of the cipher bytes
  std::wstring skey;  // the wrapped key text
};

// Encrypts the Base64 `plaintext` under a content key and IV drawn from `random`, wrapped for
// `key`. An empty plaintext gives an empty q beside the skey. Both are empty when `plaintext` is
// not Base64, the random source fails or the wrap fails.
PageCipher Encrypt(std::wstring_view plaintext, const RandomSource& random = SystemRandom,
                   const RsaPublicKey& key = ServicePublicKey());

// The Base64 text of the data in `q`, opened with the key text that `skey` unwraps to with `key`
// (type-1 blocks only). "" on any failure, and for empty `skey` or `q`.
std::wstring Decrypt(std::wstring_view skey, std::wstring_view q, const RsaPublicKey& key = ServicePublicKey());

// The request signature: upper-case hex MD5 of signdata + skey + q + the signing secret, taken
// in the system ANSI code page.
std::wstring Sign(std::wstring_view signdata, std::wstring_view skey, std::wstring_view q);

}  // namespace velmora
