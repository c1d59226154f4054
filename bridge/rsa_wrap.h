// RSA with PKCS #1 v1.5 block framing, as the page's web service exchanges keys with us: data for
// the service is wrapped as blocks of type 2 under its public key; data from the service arrives
// as blocks of type 1 made with its private key and is opened with the public one. Wrapped data
// is the Base64 texts of the blocks joined by "|&|".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/secure_random.h"

namespace velmora {

// Results of the RSA operations below; the page bridge passes no other failure detail on.
inline constexpr int kRsaOk = 0;
inline constexpr int kRsaDataError = 1025;    // bad block framing, or a value not below the modulus
inline constexpr int kRsaLengthError = 1030;  // a block longer than the modulus, or an unusable key
inline constexpr int kRsaRandomError = 1032;  // the random source failed

// Separator between the Base64 texts of the blocks of wrapped data.
inline constexpr std::string_view kRsaPieceSeparator = "|&|";

// An RSA public key with the public exponent 65537.
struct RsaPublicKey {
  // Big-endian, without leading zero bytes; its length is the block length k.
  std::string modulus;

  // The key of a modulus written as hexadecimal digits. nullopt unless the text is all hex digits
  // and the modulus is odd and at least 12 bytes long (room for one byte of wrapped data).
  static std::optional<RsaPublicKey> FromHex(std::string_view hex);
};

// The page service's key, a constant of the build. Any thread.
const RsaPublicKey& ServicePublicKey();

// input^65537 mod modulus as a k-byte big-endian block; `input` is a big-endian number of at most
// k bytes. kRsaLengthError when longer, kRsaDataError when not below the modulus; `out` is
// untouched on failure.
int RsaPublicOperation(const RsaPublicKey& key, std::string_view input, std::string* out);

// The non-zero padding bytes of wrapped blocks: each 16-byte output block is the MD5 digest of a
// 16-byte state, which then counts up by one as a big-endian 128-bit number. Pure; not shared
// between threads.
class Md5PaddingGenerator {
 public:
  // Adds the MD5 digest of `bytes` to the state (big-endian, modulo 2^128) and drops any output
  // not yet handed out.
  void Seed(std::string_view bytes);
  // The next output byte (zero bytes included; callers skip them).
  unsigned char NextByte();

 private:
  unsigned char state_[16] = {};
  unsigned char block_[16] = {};
  size_t used_ = sizeof(block_);
};

// Wraps `data` for the key holder: cut into pieces of at most k - 11 bytes, each framed as block
// type 2 with padding from an Md5PaddingGenerator seeded afresh from `random` per piece, raised to
// the public exponent, Base64-encoded and joined by the separator. Empty data wraps to "".
// Returns kRsa*; `out` is untouched on failure.
int RsaWrap(const RsaPublicKey& key, std::string_view data, const RandomSource& random, std::string* out);

// Opens data wrapped by the key holder: every non-empty piece between separators is Base64-decoded,
// raised to the public exponent and must be a block of type 1 (0x00 0x01, at least eight 0xFF,
// 0x00) whose remaining bytes are its data; the pieces' data are concatenated. The first failing
// piece fails the whole. Returns kRsa*; `out` is untouched on failure.
int RsaUnwrap(const RsaPublicKey& key, std::string_view wrapped, std::string* out);

}  // namespace velmora
