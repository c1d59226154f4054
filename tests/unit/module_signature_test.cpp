#include "platform/module_signature.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/build_constants.h"
#include "platform/module_path.h"
#include "platform/scoped_handle.h"
#include "platform/text.h"

namespace velmora {
namespace {

// The build puts version_probe.exe (unsigned) and its signed copies beside the test program.
std::wstring TestFile(const wchar_t* name) { return ParentFolder(GetModulePath(nullptr)) + L'\\' + name; }

std::vector<char> ReadWholeFile(const std::wstring& path) {
  const ScopedFileHandle file(
      ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size = {};
  if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart > (64 << 20)) return {};
  std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) return {};
  bytes.resize(read);
  return bytes;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<char>& bytes) {
  const ScopedFileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// Offset of a byte in the middle of the first code section's raw data; 0 when not found. The
// section table comes right after the optional header, whose size the file header gives, so this
// reads 32-bit and 64-bit images alike.
size_t CodeByteOffset(const std::vector<char>& image) {
  IMAGE_DOS_HEADER dos;
  if (image.size() < sizeof(dos)) return 0;
  std::memcpy(&dos, image.data(), sizeof(dos));
  const size_t file_header_at = static_cast<size_t>(dos.e_lfanew) + sizeof(DWORD);  // after "PE\0\0"
  IMAGE_FILE_HEADER header;
  if (file_header_at + sizeof(header) > image.size()) return 0;
  std::memcpy(&header, image.data() + file_header_at, sizeof(header));
  size_t section_at = file_header_at + sizeof(header) + header.SizeOfOptionalHeader;
  for (WORD i = 0; i < header.NumberOfSections; ++i, section_at += sizeof(IMAGE_SECTION_HEADER)) {
    IMAGE_SECTION_HEADER section;
    if (section_at + sizeof(section) > image.size()) return 0;
    std::memcpy(&section, image.data() + section_at, sizeof(section));
    if ((section.Characteristics & IMAGE_SCN_CNT_CODE) && section.SizeOfRawData > 0 &&
        section.PointerToRawData + section.SizeOfRawData <= image.size()) {
      return section.PointerToRawData + section.SizeOfRawData / 2;
    }
  }
  return 0;
}

// A folder of this test's own in the temp folder, removed with what the test put in it.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    path_ = FormatW(L"%lsVelmoraSignature%lu", temp, ::GetCurrentProcessId());
    ::CreateDirectoryW(path_.c_str(), nullptr);
  }
  ~TempFolder() {
    for (const auto& file : files_) ::DeleteFileW(file.c_str());
    ::RemoveDirectoryW(path_.c_str());
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::wstring File(const wchar_t* name) { return files_.emplace_back(path_ + L'\\' + name); }

 private:
  std::wstring path_;
  std::vector<std::wstring> files_;
};

TEST(ModuleSignatureTest, CopySignedByOurSignerIsAccepted) {
  const std::wstring path = TestFile(L"version_probe_signed.exe");
  EXPECT_EQ(0, VerifyAuthenticode(path));
  EXPECT_EQ(kSignerName, GetSignerSubjectName(path));
  EXPECT_TRUE(VerifyModuleSignature(path));
  // A second check of the same file answers the same: the first left no state behind.
  EXPECT_TRUE(VerifyModuleSignature(path));
}

TEST(ModuleSignatureTest, UnsignedAndMissingFilesAreRefused) {
  const std::wstring unsigned_file = TestFile(L"version_probe.exe");
  EXPECT_EQ(TRUST_E_NOSIGNATURE, VerifyAuthenticode(unsigned_file));
  EXPECT_EQ(L"", GetSignerSubjectName(unsigned_file));
  EXPECT_FALSE(VerifyModuleSignature(unsigned_file));

  TempFolder folder;
  const std::wstring missing = folder.File(L"missing.exe");
  EXPECT_NE(0, VerifyAuthenticode(missing));
  EXPECT_EQ(L"", GetSignerSubjectName(missing));
  EXPECT_FALSE(VerifyModuleSignature(missing));
}

// The signature block is untouched, so the signer's name still reads as ours: only the digest
// check can refuse this file.
TEST(ModuleSignatureTest, ChangedCodeByteIsRefusedThoughOurNameIsInIt) {
  std::vector<char> image = ReadWholeFile(TestFile(L"version_probe_signed.exe"));
  const size_t offset = CodeByteOffset(image);
  ASSERT_NE(0u, offset);
  image[offset] = static_cast<char>(image[offset] ^ 0x01);
  TempFolder folder;
  const std::wstring changed = folder.File(L"version_probe_changed.exe");
  ASSERT_TRUE(WriteWholeFile(changed, image));

  EXPECT_EQ(TRUST_E_BAD_DIGEST, VerifyAuthenticode(changed));
  EXPECT_EQ(kSignerName, GetSignerSubjectName(changed));
  EXPECT_FALSE(VerifyModuleSignature(changed));
}

// Where the chain to a root is not checked (Wine), a certificate anyone can make verifies: the
// signer's name is what refuses it.
TEST(ModuleSignatureTest, AnotherSignerIsRefusedThoughTheSignatureHolds) {
  const std::wstring path = TestFile(L"version_probe_other.exe");
  EXPECT_EQ(0, VerifyAuthenticode(path));
  EXPECT_EQ(L"Someone Else Signing", GetSignerSubjectName(path));
  EXPECT_FALSE(VerifyModuleSignature(path));
}

TEST(ModuleSignatureTest, RelativePathsAreRefusedEvenWhereTheyWouldResolve) {
  wchar_t previous[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetCurrentDirectoryW(MAX_PATH, previous));
  ASSERT_TRUE(::SetCurrentDirectoryW(ParentFolder(GetModulePath(nullptr)).c_str()));
  EXPECT_EQ(0, VerifyAuthenticode(L"version_probe_signed.exe"));  // the file is there and signed
  EXPECT_FALSE(VerifyModuleSignature(L"version_probe_signed.exe"));
  EXPECT_FALSE(VerifyModuleSignature(L".\\version_probe_signed.exe"));
  EXPECT_FALSE(VerifyModuleSignature(L""));
  ::SetCurrentDirectoryW(previous);
}

// Signed under our signer's very name by a second CA named like ours, and by an intermediate CA
// under our very root: neither was issued by the pinned CA key, so both are refused.
TEST(ModuleSignatureTest, OurNameFromAnotherCaIsRefused) {
  for (const wchar_t* name : {L"version_probe_impostor.exe", L"version_probe_sibling.exe"}) {
    const std::wstring path = TestFile(name);
    EXPECT_EQ(0, VerifyAuthenticode(path)) << WideToUtf8(name);
    EXPECT_EQ(kSignerName, GetSignerSubjectName(path)) << WideToUtf8(name);
    EXPECT_FALSE(VerifyModuleSignature(path)) << WideToUtf8(name);
  }
  EXPECT_TRUE(VerifyModuleSignature(TestFile(L"version_probe_signed.exe")));
}

}  // namespace
}  // namespace velmora
