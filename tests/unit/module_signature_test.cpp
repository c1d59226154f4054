#include "platform/module_signature.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/build_constants.h"
#include "platform/module_path.h"
#include "platform/text.h"
#include "tests/support/file_tree.h"

namespace velmora {
namespace {

// The build puts version_probe.exe (unsigned) and its signed copies beside the test program.
using test::TestProgramFile;

// Offset of a byte in the middle of the first code section's raw data; 0 when not found. The
// section table comes right after the optional header, whose size the file header gives, so this
// reads 32-bit and 64-bit images alike.
size_t CodeByteOffset(const std::string& image) {
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

// Our signer's copy passes; every other file is refused, however much of its signature holds.
// A changed code byte leaves the signature block and our name in it untouched, so only the digest
// check can refuse it. Where the chain to a root is not checked (Wine), a certificate anyone can
// make verifies: the signer's name refuses it. Our very name from a second CA named like ours, or
// from an intermediate CA under our root, was not issued by the pinned CA key.
TEST(ModuleSignatureTest, OnlyOurSignersIntactCopyIsAccepted) {
  test::TempFolder folder(L"VelmoraSignature");
  std::string image = test::ReadAll(TestProgramFile(L"version_probe_signed.exe"));
  const size_t offset = CodeByteOffset(image);
  ASSERT_NE(0u, offset);
  image[offset] = static_cast<char>(image[offset] ^ 0x01);
  ASSERT_TRUE(test::WriteAll(folder / L"changed.exe", image));

  constexpr LONG kAnyFailure = 1;
  const struct {
    std::wstring path;
    LONG authenticode;
    std::wstring signer;
    bool accepted;
  } cases[] = {
      {TestProgramFile(L"version_probe_signed.exe"), 0, kSignerName, true},
      {TestProgramFile(L"version_probe.exe"), TRUST_E_NOSIGNATURE, L"", false},
      {folder / L"missing.exe", kAnyFailure, L"", false},
      {folder / L"changed.exe", TRUST_E_BAD_DIGEST, kSignerName, false},
      {TestProgramFile(L"version_probe_other.exe"), 0, L"Someone Else Signing", false},
      {TestProgramFile(L"version_probe_impostor.exe"), 0, kSignerName, false},
      {TestProgramFile(L"version_probe_sibling.exe"), 0, kSignerName, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(WideToUtf8(c.path));
    if (c.authenticode == kAnyFailure) {
      EXPECT_NE(0, VerifyAuthenticode(c.path));
    } else {
      EXPECT_EQ(c.authenticode, VerifyAuthenticode(c.path));
    }
    EXPECT_EQ(c.signer, GetSignerSubjectName(c.path));
    EXPECT_EQ(c.accepted, VerifyModuleSignature(c.path));
    EXPECT_EQ(c.accepted, VerifyModuleSignature(c.path)) << "a second check: the first left no state behind";
  }
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

}  // namespace
}  // namespace velmora
