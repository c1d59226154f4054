#include "providers/icon_png.h"

// GDI+'s headers need the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <vector>

#include "config/shortcut.h"
#include "platform/com_ref.h"
#include "platform/data_folder.h"
#include "platform/path_macros.h"
#include "platform/text.h"
#include "providers/file_replace.h"

namespace velmora {
namespace {

using namespace Gdiplus::DllExports;

struct ScopedIconInfo {
  ICONINFO info = {};
  ~ScopedIconInfo() {
    if (info.hbmColor) ::DeleteObject(info.hbmColor);
    if (info.hbmMask) ::DeleteObject(info.hbmMask);
  }
};

// The colour bitmap's pixels as top-down 32-bit BGRA rows; empty when they cannot be read.
std::vector<DWORD> ReadPixels(HBITMAP bitmap, int width, int height) {
  std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
  BITMAPINFO header = {};
  header.bmiHeader.biSize = sizeof(header.bmiHeader);
  header.bmiHeader.biWidth = width;
  header.bmiHeader.biHeight = -height;
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 32;
  header.bmiHeader.biCompression = BI_RGB;
  HDC screen = ::GetDC(nullptr);
  const int lines = ::GetDIBits(screen, bitmap, 0, height, pixels.data(), &header, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (lines != height) pixels.clear();
  return pixels;
}

// A new ARGB bitmap that owns a copy of `pixels`.
Gdiplus::GpBitmap* BitmapFromPixels(const std::vector<DWORD>& pixels, int width, int height) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap) != Gdiplus::Ok) return nullptr;
  Gdiplus::Rect all(0, 0, width, height);
  Gdiplus::BitmapData data = {};
  if (GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
    GdipDisposeImage(bitmap);
    return nullptr;
  }
  for (int y = 0; y < height; ++y) {
    memcpy(static_cast<BYTE*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride, &pixels[static_cast<size_t>(y) * width],
           static_cast<size_t>(width) * sizeof(DWORD));
  }
  GdipBitmapUnlockBits(bitmap, &data);
  return bitmap;
}

}  // namespace

Gdiplus::GpBitmap* IconToBitmap(HICON icon) {
  if (!icon) return nullptr;
  ScopedIconInfo parts;
  if (!::GetIconInfo(icon, &parts.info)) return nullptr;
  BITMAP colour = {};
  if (parts.info.hbmColor && ::GetObjectW(parts.info.hbmColor, sizeof(colour), &colour) && colour.bmBitsPixel == 32 &&
      colour.bmWidth > 0 && colour.bmHeight > 0 && colour.bmWidth <= 1024 && colour.bmHeight <= 1024) {
    // The pixels are copied, not wrapped: the colour bitmap is deleted before the caller is done.
    const std::vector<DWORD> pixels = ReadPixels(parts.info.hbmColor, colour.bmWidth, colour.bmHeight);
    for (const DWORD pixel : pixels) {
      if (pixel >> 24) return BitmapFromPixels(pixels, colour.bmWidth, colour.bmHeight);
    }
  }
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromHICON(icon, &bitmap) != Gdiplus::Ok) return nullptr;
  return bitmap;
}

int FindPngEncoder(CLSID* clsid) {
  UINT count = 0;
  UINT size = 0;
  if (GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || count == 0 || size < count * sizeof(Gdiplus::ImageCodecInfo)) {
    return -1;
  }
  std::vector<BYTE> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return -1;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *clsid = codecs[i].Clsid;
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool SaveBitmapPng(Gdiplus::GpBitmap* bitmap, const std::wstring& path) {
  CLSID png = {};
  if (!bitmap || path.empty() || FindPngEncoder(&png) < 0) return false;
  // Encoded in memory, then written as the caches are (ReplaceFileContents): GDI+ would open the
  // file by its name, through whatever link sits on the way.
  ComRef<IStream> stream;
  if (FAILED(::CreateStreamOnHGlobal(nullptr, /*fDeleteOnRelease=*/TRUE, stream.receive()))) return false;
  HGLOBAL memory = nullptr;
  STATSTG stat{};
  if (GdipSaveImageToStream(bitmap, stream.get(), &png, nullptr) != Gdiplus::Ok ||
      FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(::GetHGlobalFromStream(stream.get(), &memory)) ||
      stat.cbSize.QuadPart > MAXDWORD) {
    return false;
  }
  const void* bytes = ::GlobalLock(memory);
  const bool written = bytes && ReplaceFileContents(path, bytes, static_cast<size_t>(stat.cbSize.QuadPart));
  if (bytes) ::GlobalUnlock(memory);
  return written;
}

std::optional<std::pair<std::wstring, int>> IconSourceOf(const UsedItem& item) {
  if (!item.shortcut) return std::make_pair(item.target, 0);
  std::wstring location;
  int index = 0;
  if (ReadShortcutIconLocation(item.path, &location, &index)) {
    if (location.find(L'%') != std::wstring::npos) location = ExpandPathMacros(location);
    return std::make_pair(location, index);
  }
  if (!item.target.empty()) return std::make_pair(item.target, 0);
  return std::nullopt;
}

std::wstring ExportIconPng(const UsedItem& item, CIconCache& cache) {
  const auto source = IconSourceOf(item);
  if (!source) return {};
  const HICON icon = cache.GetIcon(source->first, source->second);
  if (!icon) return {};
  Gdiplus::GpBitmap* bitmap = IconToBitmap(icon);
  if (!bitmap) return {};
  const std::wstring stem = IconFileStem(item.path);
  const std::wstring file = stem.empty() ? std::wstring() : GetDataPath(L"Icon\\" + stem + L".png");
  if (!file.empty()) (void)SaveBitmapPng(bitmap, file);
  GdipDisposeImage(bitmap);
  if (file.empty() || ::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return {};
  return file;
}

}  // namespace velmora
