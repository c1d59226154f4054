#include "bridge/page_crypto.h"

#include <gtest/gtest.h>
#include <mbedtls/bignum.h>
#include <windows.h>

#include <algorithm>
#include <string>

#include "bridge/rsa_wrap.h"
#include "platform/base64.h"
#include "tests/data/service_test_key.h"

namespace velmora {
namespace {

std::string Hex(std::string_view hex) {  // test vectors are written as hex
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return bytes;
}
std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }
std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }
AesBlock Block(std::string_view hex) {
  AesBlock block;
  const std::string bytes = Hex(hex);
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return block;
}

const RsaPublicKey kServiceKey = *RsaPublicKey::FromHex(test_keys::kServiceModulus);
const RsaPublicKey kSmallKey = *RsaPublicKey::FromHex(test_keys::kSmallModulus);

// block^d mod n with the test keys' private halves, done apart from the code under test.
std::string PrivateOperation(const char* modulus_hex, const char* exponent_hex, const std::string& block) {
  mbedtls_mpi n, d, x, y;
  for (mbedtls_mpi* v : {&n, &d, &x, &y}) mbedtls_mpi_init(v);
  const size_t k = (std::char_traits<char>::length(modulus_hex) + 1) / 2;
  std::string out(k, '\0');
  EXPECT_EQ(mbedtls_mpi_read_string(&n, 16, modulus_hex), 0);
  EXPECT_EQ(mbedtls_mpi_read_string(&d, 16, exponent_hex), 0);
  EXPECT_EQ(mbedtls_mpi_read_binary(&x, reinterpret_cast<const unsigned char*>(block.data()), block.size()), 0);
  EXPECT_EQ(mbedtls_mpi_exp_mod(&y, &x, &d, &n, nullptr), 0);
  EXPECT_EQ(mbedtls_mpi_write_binary(&y, reinterpret_cast<unsigned char*>(out.data()), k), 0);
  for (mbedtls_mpi* v : {&n, &d, &x, &y}) mbedtls_mpi_free(v);
  return out;
}

// A piece as the service makes it: block type 1 under its private key, 0xFF filling the block.
std::string ServicePiece(const std::string& data, size_t ff_count = 0) {
  if (ff_count == 0) ff_count = 256 - 3 - data.size();
  std::string block = std::string("\x00\x01", 2) + std::string(ff_count, '\xFF') + '\0' + data;
  return Base64Encode(PrivateOperation(test_keys::kServiceModulus, test_keys::kServicePrivateExponent, block));
}

// Opens each type-2 piece of `wrapped` with a private key; the pieces' data concatenated.
std::string OpenWrapped(const std::string& wrapped, const char* modulus, const char* exponent) {
  std::string data;
  for (size_t start = 0; start <= wrapped.size();) {
    size_t end = wrapped.find("|&|", start);
    if (end == std::string::npos) end = wrapped.size();
    const std::string block = PrivateOperation(modulus, exponent, *Base64Decode(wrapped.substr(start, end - start)));
    EXPECT_EQ(block.substr(0, 2), std::string("\x00\x02", 2));
    const size_t zero = block.find('\0', 2);
    EXPECT_GE(zero, 10u) << "fewer than eight padding bytes";
    data += block.substr(zero + 1);
    start = end + 3;
  }
  return data;
}

// A predictable random source: 0x01, 0x02, ... wrapping; `fail_after` calls succeed.
RandomSource Counting(int fail_after = 1000) {
  return [next = 1, calls = 0, fail_after](unsigned char* out, size_t size) mutable {
    if (calls++ >= fail_after) return false;
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<unsigned char>(next++);
    return true;
  };
}

// NIST SP 800-38A F.2.1, CBC-AES128.Encrypt.
const AesBlock kNistKey = Block("2b7e151628aed2a6abf7158809cf4f3c");
const AesBlock kNistIv = Block("000102030405060708090a0b0c0d0e0f");
const std::string kNistPlain = Hex(
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
const std::string kNistCipher = Hex(
    "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
    "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");

TEST(Primitives, KnownAnswers) {
  const struct { const char* in; const char* out; } base64[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"foobar", "Zm9vYmFy"}};
  for (const auto& c : base64) {
    EXPECT_EQ(Base64Encode(c.in), c.out);
    EXPECT_EQ(Base64Decode(c.out), c.in);
  }
  const std::string long_bytes(300, '\xA5');  // longer than a codec line: no line breaks
  EXPECT_EQ(Base64Encode(long_bytes).size(), 400u);
  EXPECT_EQ(Base64Decode(Base64Encode(long_bytes)), long_bytes);
  EXPECT_EQ(Base64Decode("!!!!"), std::nullopt);

  const struct { const char* in; const char* out; } md5[] = {  // RFC 1321 test suite
      {"", "D41D8CD98F00B204E9800998ECF8427E"},
      {"a", "0CC175B9C0F1B6A831C399E269772661"},
      {"abc", "900150983CD24FB0D6963F7D28E17F72"},
      {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
      {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57EDF4A22BE3C955AC49DA2E2107B67A"}};
  for (const auto& c : md5) EXPECT_EQ(Md5UpperHex(c.in), c.out) << c.in;
}

TEST(Aes128Cbc, MatchesNistAndPadsPkcs7) {
  const std::string cipher = Aes128CbcEncrypt(kNistKey, kNistIv, kNistPlain);
  ASSERT_EQ(cipher.size(), 80u);  // a whole block of padding after 64 bytes
  EXPECT_EQ(cipher.substr(0, 64), kNistCipher);
  EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, cipher), kNistPlain);
  for (size_t n : {0, 1, 15, 16, 17}) {
    const std::string data = kNistPlain.substr(0, n);
    const std::string padded = Aes128CbcEncrypt(kNistKey, kNistIv, data);
    EXPECT_EQ(padded.size(), (n + 16) / 16 * 16) << n;
    EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, padded), data) << n;
  }
}

TEST(Aes128Cbc, TheLastByteRulesThePadding) {
  // The fourth NIST block ends in 0x10: sixteen bytes go. The first ends in 0x2A (42 > 16) and the
  // second in 0x51 (81 > 32): nothing goes.
  EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, kNistCipher), kNistPlain.substr(0, 48));
  EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, kNistCipher.substr(0, 16)), kNistPlain.substr(0, 16));
  EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, kNistCipher.substr(0, 32)), kNistPlain.substr(0, 32));
  // 20 bytes are zero-extended to 32 (decrypted with openssl: the last byte is 0xCC, kept).
  EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, kNistCipher.substr(0, 20)),
            Hex("6bc1bee22e409f96e93d7e117393172a5fb9a97903896e625f17fff739fd6dcc"));
  EXPECT_EQ(Aes128CbcDecrypt(kNistKey, kNistIv, ""), "");
}

TEST(RsaPublicOperation, MatchesOpensslAndRefusesBadInput) {
  std::string block(64, '\0');
  for (int i = 0; i < 64; ++i) block[i] = static_cast<char>(i);
  const std::string expected = Hex(  // openssl pkeyutl -encrypt -pkeyopt rsa_padding_mode:none
      "70a7a4f0738178e2c8fc334c5d3c2703a7223bbde77d30187f6a33989b8cadf9"
      "fa8bb0a384aaebad8818a3f6fa5ba6850d1a02b5a473f6b84abdedbfc900a6f8");
  std::string out;
  EXPECT_EQ(RsaPublicOperation(kSmallKey, block, &out), kRsaOk);
  EXPECT_EQ(out, expected);
  out.clear();
  EXPECT_EQ(RsaPublicOperation(kSmallKey, block.substr(1), &out), kRsaOk);  // the same number
  EXPECT_EQ(out, expected);
  out = "untouched";
  EXPECT_EQ(RsaPublicOperation(kSmallKey, kSmallKey.modulus, &out), kRsaDataError);
  EXPECT_EQ(RsaPublicOperation(kSmallKey, std::string(64, '\xFF'), &out), kRsaDataError);
  EXPECT_EQ(RsaPublicOperation(kSmallKey, '\0' + block, &out), kRsaLengthError);
  EXPECT_EQ(out, "untouched");

  EXPECT_EQ(ServicePublicKey().modulus.size(), 256u);
  EXPECT_EQ(RsaPublicKey::FromHex("0" + std::string(test_keys::kSmallModulus))->modulus, kSmallKey.modulus);
  // Empty, 11 bytes, even, not hex.
  for (const char* bad : {"", "1000000000000000000001", "10000000000000000000000000", "1000000000000000000000001Z"})
    EXPECT_FALSE(RsaPublicKey::FromHex(bad).has_value()) << bad;
}

TEST(Md5PaddingGenerator, CountsItsStateAndAddsSeeds) {
  // Expected bytes computed with Python's hashlib: MD5(state), MD5(state + 1); state = MD5("abc").
  Md5PaddingGenerator generator;
  generator.Seed("abc");
  std::string out;
  for (int i = 0; i < 32; ++i) out += static_cast<char>(generator.NextByte());
  EXPECT_EQ(out, Hex("af5da9f45af7a300e3aded972f8ff6874b2678b11439688f904bd8ef03fe7aa9"));
  // Seeding twice adds twice, with carries, modulo 2^128.
  Md5PaddingGenerator twice;
  twice.Seed("abc");
  twice.Seed("abc");
  out.clear();
  for (int i = 0; i < 16; ++i) out += static_cast<char>(twice.NextByte());
  EXPECT_EQ(out, Hex("8d16f0cf79d8425aeee7f0fe13717248"));
}

TEST(RsaWrap, CutsIntoType2PiecesPaddedFromTheSeededGenerator) {
  const std::string data(100, 'd');  // 53 + 47 bytes under a 64-byte modulus
  std::string wrapped;
  ASSERT_EQ(RsaWrap(kSmallKey, data, Counting(), &wrapped), kRsaOk);
  ASSERT_EQ(std::count(wrapped.begin(), wrapped.end(), '&'), 1);
  EXPECT_EQ(OpenWrapped(wrapped, test_keys::kSmallModulus, test_keys::kSmallPrivateExponent), data);
  // The first piece's padding is the non-zero output of a generator seeded with 512 random bytes.
  unsigned char seed[512];
  Counting()(seed, sizeof(seed));
  Md5PaddingGenerator generator;
  generator.Seed(std::string_view(reinterpret_cast<char*>(seed), sizeof(seed)));
  std::string padding;
  while (padding.size() < 64 - 3 - 53)
    if (const unsigned char b = generator.NextByte()) padding += static_cast<char>(b);
  const std::string first = PrivateOperation(test_keys::kSmallModulus, test_keys::kSmallPrivateExponent,
                                             *Base64Decode(wrapped.substr(0, wrapped.find('|'))));
  EXPECT_EQ(first.substr(2, padding.size()), padding);

  wrapped = "untouched";
  EXPECT_EQ(RsaWrap(kSmallKey, data, Counting(/*fail_after=*/1), &wrapped), kRsaRandomError);
  EXPECT_EQ(wrapped, "untouched");
}

TEST(RsaUnwrap, JoinsType1PiecesAndRefusesEverythingElse) {
  std::string out;
  EXPECT_EQ(RsaUnwrap(kServiceKey, ServicePiece("first,") + "|&|" + ServicePiece("second"), &out), kRsaOk);
  EXPECT_EQ(out, "first,second");
  EXPECT_EQ(RsaUnwrap(kServiceKey, "|&|" + ServicePiece("x") + "|&||&|", &out), kRsaOk);  // empty pieces skipped
  EXPECT_EQ(out, "x");
  EXPECT_EQ(RsaUnwrap(kServiceKey, ServicePiece(std::string(245, 'x'), 8), &out), kRsaOk);  // the most per piece
  EXPECT_EQ(out, std::string(245, 'x'));

  std::string wrapped;  // a type-2 block opens only with the private key
  ASSERT_EQ(RsaWrap(kServiceKey, "x", Counting(), &wrapped), kRsaOk);
  const std::string modulus_b64 = Base64Encode(kServiceKey.modulus);
  const struct { std::string skey; int error; } bad[] = {
      {wrapped, kRsaDataError},
      {ServicePiece(std::string(246, 'x'), 7), kRsaDataError},  // seven 0xFF only
      {Base64Encode(PrivateOperation(test_keys::kServiceModulus, test_keys::kServicePrivateExponent,
                                     std::string("\x00\x01", 2) + std::string(254, '\xFF'))),
       kRsaDataError},  // no 0x00 before the data
      {modulus_b64, kRsaDataError},
      {Base64Encode('\0' + kServiceKey.modulus), kRsaLengthError},  // 257 bytes
      {ServicePiece("ok") + "|&|" + "not*base64", kRsaDataError},
  };
  for (const auto& c : bad) {
    out = "untouched";
    EXPECT_EQ(RsaUnwrap(kServiceKey, c.skey, &out), c.error) << c.skey;
    EXPECT_EQ(out, "untouched");
  }
}

TEST(Encrypt, WrapsTheKeyTextAndEncryptsUnderIt) {
  const PageCipher empty = Encrypt(L"", Counting(), kServiceKey);
  EXPECT_EQ(empty.q, L"");
  EXPECT_FALSE(empty.skey.empty());

  const std::string data = "0123456789abcdef";
  const PageCipher result = Encrypt(Wide(Base64Encode(data)), Counting(), kServiceKey);
  ASSERT_EQ(result.q.size(), 44u);  // 32 cipher bytes: a full block of padding
  EXPECT_EQ(result.skey.find(L"|&|"), std::wstring::npos);
  const std::string key_text =
      OpenWrapped(Narrow(result.skey), test_keys::kServiceModulus, test_keys::kServicePrivateExponent);
  // The random source's first 32 bytes are the key, then the IV: 0x01..0x10, 0x11..0x20.
  EXPECT_EQ(key_text, "{\"key\":\"AQIDBAUGBwgJCgsMDQ4PEA==\", \"iv\":\"ERITFBUWFxgZGhscHR4fIA==\"}");
  const AesBlock key = Block("0102030405060708090a0b0c0d0e0f10");
  const AesBlock iv = Block("1112131415161718191a1b1c1d1e1f20");
  EXPECT_EQ(Aes128CbcDecrypt(key, iv, *Base64Decode(Narrow(result.q))), data);
  EXPECT_EQ(Decrypt(result.skey, result.q, kServiceKey), L"");  // type 2 does not unwrap
}

TEST(Encrypt, DrawsFreshKeysFromTheSystemGenerator) {
  const PageCipher first = Encrypt(L"QUJD", SystemRandom, kServiceKey);
  const PageCipher second = Encrypt(L"QUJD", SystemRandom, kServiceKey);
  ASSERT_EQ(first.q.size(), 24u);
  EXPECT_NE(first.q, second.q);
  const std::string key_text =
      OpenWrapped(Narrow(first.skey), test_keys::kServiceModulus, test_keys::kServicePrivateExponent);
  EXPECT_NE(key_text, OpenWrapped(Narrow(second.skey), test_keys::kServiceModulus, test_keys::kServicePrivateExponent));
  EXPECT_EQ(key_text.size(), 67u);
}

TEST(Encrypt, FailsAsAWhole) {
  for (const wchar_t* plaintext : {L"!!!!", L"QUJD\u00e9"}) {
    const PageCipher result = Encrypt(plaintext, Counting(), kServiceKey);
    EXPECT_EQ(result.q + result.skey, L"") << plaintext;
  }
  for (int fail_after : {0, 1, 2}) {  // key, IV, padding seed
    const PageCipher result = Encrypt(L"QUJD", Counting(fail_after), kServiceKey);
    EXPECT_EQ(result.q + result.skey, L"") << fail_after;
  }
}

TEST(Decrypt, OpensServiceKeysAndRefusesBadKeyTexts) {
  const std::wstring q = Wide(Base64Encode(Aes128CbcEncrypt(kNistKey, kNistIv, kNistPlain)));
  const std::string key_text = "{\"key\":\"K34VFiiu0qar9xWICc9PPA==\", \"iv\":\"AAECAwQFBgcICQoLDA0ODw==\"}";
  EXPECT_EQ(Decrypt(Wide(ServicePiece(key_text)), q, kServiceKey), Wide(Base64Encode(kNistPlain)));
  const std::wstring two_pieces = Wide(ServicePiece(key_text.substr(0, 30)) + "|&|" + ServicePiece(key_text.substr(30)));
  EXPECT_EQ(Decrypt(two_pieces, q, kServiceKey), Wide(Base64Encode(kNistPlain)));

  // A short key is zero-extended.
  const std::string short_key = "{\"key\":\"AQID\",\"iv\":\"\"}";
  const std::string zero_extended = Aes128CbcEncrypt(Block("01020300000000000000000000000000"), AesBlock{}, "hi");
  EXPECT_EQ(Decrypt(Wide(ServicePiece(short_key)), Wide(Base64Encode(zero_extended)), kServiceKey), L"aGk=");

  for (const char* bad_text : {"{\"iv\":\"AAECAwQFBgcICQoLDA0ODw==\"}", "{\"key\":\"K34VFiiu0qar9xWICc9PPA==\"}",
                               "{\"key\":1, \"iv\":\"AA==\"}", "{\"key\":\"AA==\", \"iv\":null}",
                               "{\"key\":\"AAECAwQFBgcICQoLDA0ODxA=\", \"iv\":\"AA==\"}",  // 17 bytes
                               "{\"key\":\"***\", \"iv\":\"AA==\"}", "[\"key\"]", "{\"key\":", ""}) {
    EXPECT_EQ(Decrypt(Wide(ServicePiece(bad_text)), q, kServiceKey), L"") << bad_text;
  }
  const std::wstring skey = Wide(ServicePiece(key_text));
  for (const std::wstring& bad_q : {std::wstring(L""), std::wstring(L"!!!!"), std::wstring(L"\u00e9AAA")})
    EXPECT_EQ(Decrypt(skey, bad_q, kServiceKey), L"");
  EXPECT_EQ(Decrypt(L"", q, kServiceKey), L"");
  EXPECT_EQ(Decrypt(L"|&|", q, kServiceKey), L"");
}

TEST(Sign, IsUpperHexMd5WithTheSecret) {
  // md5sum of "abcdefghi5c0e8a7b31d94f26a0b7c3e1d2f48a69" and of the secret alone.
  EXPECT_EQ(Sign(L"abc", L"def", L"ghi"), L"AA8FFDC9AB4FD845D7D85EFE1802522C");
  EXPECT_EQ(Sign(L"", L"", L""), L"8CE274DE8AB697080E4ABBDD1BD3815D");
  if (::GetACP() == 1252) {  // the system code page, not UTF-8
    EXPECT_EQ(Sign(L"data\u00e9", L"|skey|", L"q"), L"D02F820AB94D5972DC2B76A256D293BD");
  }
}

}  // namespace
}  // namespace velmora
