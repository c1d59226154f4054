#include "platform/module_signature.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
#include <shlwapi.h>
#include <softpub.h>
#include <wintrust.h>

#include <string>
#include <vector>

#include "platform/build_constants.h"
#include "platform/scoped_handle.h"

namespace velmora {
namespace {

struct CertStoreTraits {
  using Handle = HCERTSTORE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CertCloseStore(h, 0); }
};

struct CryptMsgTraits {
  using Handle = HCRYPTMSG;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CryptMsgClose(h); }
};

struct CertContextTraits {
  using Handle = PCCERT_CONTEXT;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle h) { ::CertFreeCertificateContext(h); }
};

using ScopedCertStore = ScopedHandleT<CertStoreTraits>;
using ScopedCryptMsg = ScopedHandleT<CryptMsgTraits>;
using ScopedCertContext = ScopedHandleT<CertContextTraits>;

// A signer record is a few kilobytes; the cap only keeps a hostile file from asking for gigabytes.
constexpr DWORD kMaxSignerInfoBytes = 16u << 20;

// The common name of `certificate`, empty when it has none.
std::wstring CommonName(PCCERT_CONTEXT certificate) {
  // The common name only: the simple display name would fall back to the organisation or e-mail
  // of a certificate without one, and any of those could then pass for the signer's name.
  // The count includes the terminator and is 1 (an empty text) when there is no common name.
  void* common_name = const_cast<char*>(szOID_COMMON_NAME);
  const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, /*dwFlags=*/0, common_name, nullptr, 0);
  if (length <= 1) return {};
  std::wstring name(length, L'\0');
  const DWORD written = ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, common_name, name.data(), length);
  if (written <= 1 || written > length) return {};
  name.resize(written - 1);
  return name;
}

// Revocation is checked against what the system has cached only: no network wait at start. No
// cached answer is no answer; only a certificate known to be revoked fails.
bool IsRevocationUnknown(LONG status) {
  return status == CRYPT_E_REVOCATION_OFFLINE || status == CRYPT_E_NO_REVOCATION_CHECK ||
         status == CERT_E_REVOCATION_FAILURE;
}

// WinVerifyTrust on the file `path` names (read through `file` when it is open); while the
// provider's state is still open, `inspect` sees its data for a signature that verified and
// decides. With `revocation`, the whole chain's revocation is checked from the local cache.
// Answers 0 only when both passed; TRUST_E_FAIL when `inspect` refused.
template <typename Inspect>
LONG VerifyAndInspect(const std::wstring& path, HANDLE file, bool revocation, Inspect inspect) {
  WINTRUST_FILE_INFO file_info = {};
  file_info.cbStruct = sizeof(file_info);
  file_info.pcwszFilePath = path.c_str();
  // With a handle the provider reads what we hold open, not whatever the path names by then.
  file_info.hFile = file == INVALID_HANDLE_VALUE ? nullptr : file;

  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = revocation ? WTD_REVOKE_WHOLECHAIN : WTD_REVOKE_NONE;
  data.dwProvFlags = revocation ? WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_CHAIN : 0;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file_info;
  data.dwStateAction = WTD_STATEACTION_VERIFY;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE as the window: no interactive user, so no provider may ask anything.
  const HWND no_user = static_cast<HWND>(INVALID_HANDLE_VALUE);
  LONG status = ::WinVerifyTrust(no_user, &action, &data);
  if (revocation && IsRevocationUnknown(status)) status = 0;
  if (status == 0 && !inspect(::WTHelperProvDataFromStateData(data.hWVTStateData))) status = TRUST_E_FAIL;
  // The verify step leaves provider state behind even when it fails; only the close step frees it.
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  ::WinVerifyTrust(no_user, &action, &data);
  return status;
}

// The first signer as the trust provider found it, with the chain it built; null when there is
// none or its chain is empty.
const CRYPT_PROVIDER_SGNR* FirstSigner(CRYPT_PROVIDER_DATA* provider) {
  if (provider == nullptr) return nullptr;
  const CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, /*idxSigner=*/0, FALSE, 0);
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr) return nullptr;
  return signer;
}

// The SHA-256 of `certificate`'s public key (its SubjectPublicKeyInfo, DER), as lower-case hex;
// empty on any failure.
std::string PublicKeySha256(PCCERT_CONTEXT certificate) {
  DWORD size = 0;
  CERT_PUBLIC_KEY_INFO* key = &certificate->pCertInfo->SubjectPublicKeyInfo;
  if (!::CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, nullptr, &size) || size == 0) return {};
  std::vector<BYTE> encoded(size);
  if (!::CryptEncodeObject(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, encoded.data(), &size)) return {};
  BYTE digest[32] = {};
  DWORD digest_size = sizeof(digest);
  if (!::CryptHashCertificate2(BCRYPT_SHA256_ALGORITHM, 0, nullptr, encoded.data(), size, digest, &digest_size) ||
      digest_size != sizeof(digest)) {
    return {};
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const BYTE b : digest) {
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

// True when `signer`'s certificate is named kSignerName exactly and was issued by the CA whose key
// is pinned: the next certificate of its chain. Pinning the chain's root instead would let any
// certificate of that name under the same root pass, which for a public CA is anyone's.
bool IsOurSigner(const CRYPT_PROVIDER_SGNR& signer) {
  if (signer.csCertChain < 2) return false;
  const PCCERT_CONTEXT own = signer.pasCertChain[0].pCert;
  const PCCERT_CONTEXT issuer = signer.pasCertChain[1].pCert;
  return own != nullptr && issuer != nullptr && CommonName(own) == kSignerName &&
         PublicKeySha256(issuer) == kSignerCaKeySha256;
}

ScopedFileHandle OpenForVerifying(const std::wstring& path) {
  // Read sharing only: while we hold it nobody can write, rename or delete the file.
  return ScopedFileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

LONG VerifyAuthenticode(const std::wstring& path) {
  return VerifyAndInspect(path, INVALID_HANDLE_VALUE, /*revocation=*/false, [](CRYPT_PROVIDER_DATA*) { return true; });
}

std::wstring GetSignerSubjectName(const std::wstring& path) {
  DWORD encoding = 0;
  DWORD content_type = 0;
  DWORD format_type = 0;
  ScopedCertStore store;
  ScopedCryptMsg message;
  // For an object kind of FILE the "object" is the wide path itself. Only a signature embedded
  // in a PE file is accepted: a detached PKCS#7 file named like a module is not a signed module.
  if (!::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(), CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, /*dwFlags=*/0, &encoding, &content_type, &format_type,
                          store.receive(), message.receive(), /*ppvContext=*/nullptr)) {
    return {};
  }

  DWORD size = 0;
  if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, /*dwIndex=*/0, nullptr, &size) || size == 0 ||
      size > kMaxSignerInfoBytes) {
    return {};
  }
  // CMSG_SIGNER_INFO is a structure with pointers into the same buffer, written in place; the
  // allocation from operator new is aligned for it.
  std::vector<BYTE> buffer(size);
  if (!::CryptMsgGetParam(message.get(), CMSG_SIGNER_INFO_PARAM, 0, buffer.data(), &size) ||
      size < sizeof(CMSG_SIGNER_INFO)) {
    return {};
  }
  const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());

  // The signer record names its certificate by issuer and serial number only; the certificate
  // itself is in the signature's own store.
  CERT_INFO wanted = {};
  wanted.Issuer = signer->Issuer;
  wanted.SerialNumber = signer->SerialNumber;
  const ScopedCertContext certificate(::CertFindCertificateInStore(
      store.get(), encoding, /*dwFindFlags=*/0, CERT_FIND_SUBJECT_CERT, &wanted, /*pPrevCertContext=*/nullptr));
  if (!certificate) return {};
  return CommonName(certificate.get());
}

bool VerifyModuleSignature(const std::wstring& path) {
  // A relative path would be resolved against whatever the current folder happens to be.
  // PathIsRelativeW also calls an empty path relative.
  if (::PathIsRelativeW(path.c_str())) return false;
  const ScopedFileHandle file = OpenForVerifying(path);
  return file && VerifyModuleSignature(path, file.get());
}

bool VerifyModuleSignature(const std::wstring& path, HANDLE file) {
  if (::PathIsRelativeW(path.c_str()) || file == nullptr || file == INVALID_HANDLE_VALUE) return false;
  // The trust check proves the file is whole and signed; which signer it was is ours to check, on
  // the certificates that very check found: the signer's name compared exactly, case included,
  // and its issuing CA's key pinned, so that a certificate of the same name from any other CA (one
  // the user added, another under the same root, or none where the chain is not checked) is
  // refused.
  return VerifyAndInspect(path, file, /*revocation=*/true, [](CRYPT_PROVIDER_DATA* provider) {
           const CRYPT_PROVIDER_SGNR* signer = FirstSigner(provider);
           return signer != nullptr && IsOurSigner(*signer);
         }) == 0;
}

}  // namespace velmora
