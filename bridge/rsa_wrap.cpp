#include "bridge/rsa_wrap.h"

#include <mbedtls/bignum.h>
#include <mbedtls/md5.h>

#include "platform/base64.h"
#include "platform/build_constants.h"

namespace velmora {
namespace {

constexpr unsigned char kPublicExponent[] = {0x01, 0x00, 0x01};  // 65537
// PKCS #1 v1.5: at least eight padding bytes, plus the leading 0x00, the type and the 0x00 before
// the data.
constexpr size_t kMinPadding = 8;
constexpr size_t kFramingBytes = 3 + kMinPadding;
// Seed bytes drawn for each wrapped block's padding generator.
constexpr size_t kPaddingSeedBytes = 512;

// Owns one mbedTLS big number.
class ScopedMpi {
 public:
  ScopedMpi() { mbedtls_mpi_init(&value_); }
  ~ScopedMpi() { mbedtls_mpi_free(&value_); }
  ScopedMpi(const ScopedMpi&) = delete;
  ScopedMpi& operator=(const ScopedMpi&) = delete;
  mbedtls_mpi* get() { return &value_; }

 private:
  mbedtls_mpi value_;
};

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void Md5(std::string_view bytes, unsigned char digest[16]) {
  // Only fails for hardware-accelerated builds, which ours is not.
  (void)mbedtls_md5_ret(Bytes(bytes), bytes.size(), digest);
}

}  // namespace

std::optional<RsaPublicKey> RsaPublicKey::FromHex(std::string_view hex) {
  std::string modulus;
  modulus.reserve(hex.size() / 2 + 1);
  // An odd count of digits has an implied leading zero.
  size_t at = 0;
  if (hex.size() % 2 == 1) {
    const int low = HexDigit(hex[0]);
    if (low < 0) return std::nullopt;
    modulus += static_cast<char>(low);
    at = 1;
  }
  for (; at < hex.size(); at += 2) {
    const int high = HexDigit(hex[at]);
    const int low = HexDigit(hex[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    modulus += static_cast<char>(high * 16 + low);
  }
  modulus.erase(0, modulus.find_first_not_of('\0'));
  if (modulus.size() < kFramingBytes + 1 || (modulus.back() & 1) == 0) return std::nullopt;
  return RsaPublicKey{std::move(modulus)};
}

const RsaPublicKey& ServicePublicKey() {
  // CMake checks the constant's shape; an unusable one leaves an empty key that every operation
  // refuses.
  static const RsaPublicKey key = RsaPublicKey::FromHex(kServiceRsaModulusHex).value_or(RsaPublicKey{});
  return key;
}

int RsaPublicOperation(const RsaPublicKey& key, std::string_view input, std::string* out) {
  const size_t k = key.modulus.size();
  if (k == 0 || input.size() > k) return kRsaLengthError;
  ScopedMpi n, e, m, c;
  if (mbedtls_mpi_read_binary(n.get(), Bytes(key.modulus), k) != 0 ||
      mbedtls_mpi_read_binary(e.get(), kPublicExponent, sizeof(kPublicExponent)) != 0 ||
      mbedtls_mpi_read_binary(m.get(), Bytes(input), input.size()) != 0) {
    return kRsaDataError;
  }
  if (mbedtls_mpi_cmp_mpi(m.get(), n.get()) >= 0) return kRsaDataError;
  if (mbedtls_mpi_exp_mod(c.get(), m.get(), e.get(), n.get(), /*prec_RR=*/nullptr) != 0) return kRsaDataError;
  std::string block(k, '\0');
  if (mbedtls_mpi_write_binary(c.get(), reinterpret_cast<unsigned char*>(block.data()), k) != 0) return kRsaDataError;
  *out = std::move(block);
  return kRsaOk;
}

void Md5PaddingGenerator::Seed(std::string_view bytes) {
  unsigned char digest[16];
  Md5(bytes, digest);
  unsigned carry = 0;
  for (int i = 15; i >= 0; --i) {
    const unsigned sum = state_[i] + digest[i] + carry;
    state_[i] = static_cast<unsigned char>(sum);
    carry = sum >> 8;
  }
  used_ = sizeof(block_);
}

unsigned char Md5PaddingGenerator::NextByte() {
  if (used_ == sizeof(block_)) {
    Md5(std::string_view(reinterpret_cast<const char*>(state_), sizeof(state_)), block_);
    for (int i = 15; i >= 0; --i) {
      if (++state_[i] != 0) break;  // no carry into the next byte
    }
    used_ = 0;
  }
  return block_[used_++];
}

int RsaWrap(const RsaPublicKey& key, std::string_view data, const RandomSource& random, std::string* out) {
  const size_t k = key.modulus.size();
  if (k < kFramingBytes + 1) return kRsaLengthError;
  const size_t max_piece = k - kFramingBytes;
  std::string wrapped;
  for (size_t at = 0; at < data.size(); at += max_piece) {
    const std::string_view piece = data.substr(at, max_piece);
    std::string seed(kPaddingSeedBytes, '\0');
    if (!random || !random(reinterpret_cast<unsigned char*>(seed.data()), seed.size())) return kRsaRandomError;
    Md5PaddingGenerator generator;
    generator.Seed(seed);

    std::string block = {'\x00', '\x02'};
    block.reserve(k);
    while (block.size() < k - 1 - piece.size()) {
      const unsigned char pad = generator.NextByte();
      if (pad != 0) block += static_cast<char>(pad);
    }
    block += '\0';
    block.append(piece);

    std::string cipher;
    if (const int error = RsaPublicOperation(key, block, &cipher)) return error;
    const std::string text = Base64Encode(cipher);
    if (text.empty()) return kRsaDataError;
    if (at > 0) wrapped.append(kRsaPieceSeparator);
    wrapped += text;
  }
  *out = std::move(wrapped);
  return kRsaOk;
}

int RsaUnwrap(const RsaPublicKey& key, std::string_view wrapped, std::string* out) {
  const size_t k = key.modulus.size();
  std::string data;
  size_t start = 0;
  while (start <= wrapped.size()) {
    size_t end = wrapped.find(kRsaPieceSeparator, start);
    if (end == std::string_view::npos) end = wrapped.size();
    const std::string_view piece = wrapped.substr(start, end - start);
    start = end + kRsaPieceSeparator.size();
    if (piece.empty()) continue;

    const std::optional<std::string> number = Base64Decode(piece);
    if (!number) return kRsaDataError;
    if (number->size() > k) return kRsaLengthError;
    std::string block;
    if (const int error = RsaPublicOperation(key, *number, &block)) return error;
    if (block.size() < kFramingBytes || block[0] != '\x00' || block[1] != '\x01') return kRsaDataError;
    size_t at = 2;
    while (at < block.size() && block[at] == '\xFF') ++at;
    if (at == block.size() || block[at] != '\x00' || at - 2 < kMinPadding) return kRsaDataError;
    data.append(block, at + 1, std::string::npos);
  }
  *out = std::move(data);
  return kRsaOk;
}

}  // namespace velmora
