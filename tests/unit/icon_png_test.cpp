// Icons: cleaning a source text, the cache, and PNG files written from real icon resources and
// read back through GDI+.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <utility>

#include "platform/module_path.h"
#include "platform/text.h"
#include "providers/icon_cache.h"
#include "providers/icon_png.h"
#include "tests/support/file_tree.h"
#include "tests/unit/recent_fixture.h"

namespace velmora::test {
namespace {

using namespace Gdiplus::DllExports;

TEST(IconSource, CleaningATextLeavesThePath) {
  struct Case {
    const wchar_t* source;
    const wchar_t* cleaned;
  } cases[] = {
      {L"C:\\Windows\\System32\\RUNDLL32.EXE C:\\Lib\\Probe.dll,Entry 1", L"c:\\lib\\probe.dll"},
      {L"rundll32 shell32.dll,Control_RunDLL", L"shell32.dll"},
      {L"rundll32.exe ", L"rundll32.exe"},  // nothing after it: kept
      {L"C:\\Prog\\App.EXE -silent", L"c:\\prog\\app.exe"},
      {L"C:\\Docs\\Plan - \x526F\x672C.exe -x", L"c:\\docs\\plan - \x526F\x672C.exe -x"},
      {L"C:\\a-b\\c -d", L"c:\\a-b\\c -d"},  // no extension right before " -"
      {L"C:\\App\\a.exe //s", L"c:\\app\\a.exe"},
      {L"C:\\App\\a.exe --s", L"c:\\app\\a.exe"},
      {L"C:\\App\\a.exe %1", L"c:\\app\\a.exe"},
      {L"C:\\App\\a.dll,-107", L"c:\\app\\a.dll"},
      {L"  C:\\App\\A.exe \t", L"c:\\app\\a.exe"},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanIconSource(c.source), c.cleaned) << WideToUtf8(c.source);
  EXPECT_EQ(NormalizeIconPath(L"\"c:\\\\a//b\\/c\""), L"c:\\a/b\\c");
  EXPECT_EQ(NormalizeIconPath(L"\\\\server\\\\x"), L"\\\\server\\x");
}

struct Pixels {
  UINT width = 0, height = 0, opaque = 0, transparent = 0;
};

// The PNG file read back through GDI+.
Pixels ReadPng(const std::wstring& path) {
  Pixels pixels;
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Gdiplus::Ok) return pixels;
  GdipGetImageWidth(bitmap, &pixels.width);
  GdipGetImageHeight(bitmap, &pixels.height);
  for (UINT y = 0; y < pixels.height; ++y) {
    for (UINT x = 0; x < pixels.width; ++x) {
      Gdiplus::ARGB argb = 0;
      GdipBitmapGetPixel(bitmap, static_cast<INT>(x), static_cast<INT>(y), &argb);
      if ((argb >> 24) == 0) ++pixels.transparent;
      if ((argb >> 24) == 0xFF) ++pixels.opaque;
    }
  }
  GdipDisposeImage(bitmap);
  return pixels;
}

class IconExport : public RecentFixture {};

TEST_F(IconExport, EachKindOfIconKeepsItsTransparency) {
  const std::wstring target = File(local_ + L"\\doc.txt");
  struct Case {
    int index;
    const char* what;
  } cases[] = {{0, "32-bit with alpha"}, {1, "alpha all zero, through the mask"}, {2, "mask only"}};
  CIconCache cache;
  for (const Case& c : cases) {
    UsedItem item;
    item.shortcut = true;
    item.path = Link(local_, FormatW(L"icon%d.lnk", c.index), target, IconProbe(), c.index);
    item.target = target;
    const std::wstring png = ExportIconPng(item, cache);
    ASSERT_FALSE(png.empty()) << c.what;
    EXPECT_EQ(png, TestDataFolder() + L"\\Icon\\" + IconFileStem(item.path) + L".png");
    const Pixels pixels = ReadPng(png);
    EXPECT_EQ(pixels.width, 32u) << c.what;
    EXPECT_EQ(pixels.height, 32u) << c.what;
    EXPECT_GT(pixels.opaque, 0u) << c.what << ": not fully transparent";
    EXPECT_GT(pixels.transparent, 0u) << c.what << ": transparency kept";
    EXPECT_EQ(ExportIconPng(item, cache), png) << "the same path writes the same file";
  }
  EXPECT_EQ(cache.size(), 3u);
}

TEST_F(IconExport, SourcesShareEntriesByCleanedTextAndMissingLibrariesGiveNone) {
  CIconCache cache;
  const std::wstring probe = IconProbe();
  const HICON icon = cache.GetIcon(probe, 0);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(cache.GetIcon(AsciiUpper(probe), 0), icon);
  EXPECT_EQ(cache.GetIcon(L"rundll32.exe " + probe + L",Entry", 0), icon);
  EXPECT_EQ(cache.size(), 1u);
  EXPECT_EQ(cache.GetIcon(L"rundll32.exe C:\\no\\such.dll,Entry", 0), nullptr);
  EXPECT_EQ(cache.size(), 1u) << "a missing path makes no entry";
  // A folder has no icon of its own: its type's icon comes from the shell.
  const std::wstring folder = local_ + L"\\plain folder";
  ::CreateDirectoryW(folder.c_str(), nullptr);
  EXPECT_NE(cache.GetIcon(folder, 0), nullptr);
}

// An icon location is opened only on an internal fixed disk: never on a server (which would get
// the user's credentials), a removable drive, a device or a relative path.
TEST_F(IconExport, IconsComeOnlyFromInternalFixedDisks) {
  const std::wstring local_drive = local_.substr(0, 2);
  const auto is_local = [local_drive](const std::wstring& drive) { return EqualsIgnoreAsciiCase(drive, local_drive); };
  const std::wstring removable = other_ + L"\\probe.dll";
  ASSERT_TRUE(::CopyFileW(IconProbe().c_str(), removable.c_str(), FALSE));
  const struct {
    std::wstring path;
    bool allowed;
  } cases[] = {{IconProbe(), true},
               {removable, false},
               {L"\\\\127.0.0.1\\share\\x.ico", false},
               {L"//127.0.0.1/share/x.ico", false},
               {L"\\\\?\\" + IconProbe(), false},
               {L"\\\\.\\" + IconProbe(), false},
               {L"icon_probe.dll", false},
               {local_drive + L"icon_probe.dll", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(IsIconPathAllowed(c.path, is_local), c.allowed) << WideToUtf8(c.path);
    CIconCache cache(is_local);
    EXPECT_EQ(cache.GetIcon(c.path, 0) != nullptr, c.allowed) << WideToUtf8(c.path);
  }
}

// A shortcut's negative icon index is a resource id: one the file has gives that icon, one it
// lacks its first icon; neither gives ExtractIconW's answer to -1, the number of icons.
TEST_F(IconExport, NegativeIndexesAreResourceIds) {
  CIconCache cache;
  const std::wstring no_id_1 = SystemFolderFile(L"user32.dll");  // icons, none with id 1
  for (const auto& [path, index] : {std::pair{IconProbe(), -2}, {no_id_1, -1}, {IconProbe(), -1}}) {
    ICONINFO info{};
    const HICON icon = cache.GetIcon(path, index);
    ASSERT_TRUE(icon && ::GetIconInfo(icon, &info)) << WideToUtf8(path) << " " << index << ": " << icon;
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
  }
}

TEST_F(IconExport, AnIconFolderThatCannotBeWrittenLeavesTheIconOut) {
  const std::wstring icons = TestDataFolder() + L"\\Icon";
  const std::wstring aside = TestDataFolder() + L"\\Icon.aside";
  DeleteTree(aside);
  ::MoveFileW(icons.c_str(), aside.c_str());
  File(icons, "a file where the folder should be");
  UsedItem item;
  item.path = item.target = IconProbe();
  CIconCache cache;
  EXPECT_EQ(ExportIconPng(item, cache), L"");
  ::DeleteFileW(icons.c_str());
  ::MoveFileW(aside.c_str(), icons.c_str());
  // Nothing half-written is left beside the files either.
  const std::wstring png = ExportIconPng(item, cache);
  ASSERT_FALSE(png.empty());
  WIN32_FIND_DATAW entry = {};
  const HANDLE find = ::FindFirstFileW((icons + L"\\*.tmp").c_str(), &entry);
  EXPECT_EQ(find, INVALID_HANDLE_VALUE);
  if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
}

}  // namespace
}  // namespace velmora::test
