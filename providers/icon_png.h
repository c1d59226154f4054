// Icons as PNG files in the data folder's "Icon" folder, for the page to show. GDI+ must be
// started by the process. Called by the commonly used items worker only.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>

#include "providers/icon_cache.h"
#include "providers/used_items.h"

namespace Gdiplus {
class GpBitmap;
}

namespace velmora {

// A GDI+ bitmap that keeps the icon's transparency: a 32-bit colour bitmap with any non-zero
// alpha is copied with its alpha; other icons (alpha all zero, or no colour bitmap) go through
// GDI+'s icon conversion, which applies the mask. Null on failure; the caller disposes of it
// (GdipDisposeImage).
Gdiplus::GpBitmap* IconToBitmap(HICON icon);

// The position of GDI+'s "image/png" encoder in its encoder list and its CLSID into `*clsid`;
// -1 (and `*clsid` untouched) when there is none.
int FindPngEncoder(CLSID* clsid);

// Writes `bitmap` as a PNG file at `path`: first under a temporary name beside it, then renamed
// over `path`, so a reader never sees a half-written file. False when nothing was written.
[[nodiscard]] bool SaveBitmapPng(Gdiplus::GpBitmap* bitmap, const std::wstring& path);

// Where an item's icon comes from: its target for a file or program; for a shortcut the icon
// location it names (path macros expanded) or else its target. Nullopt when there is none.
std::optional<std::pair<std::wstring, int>> IconSourceOf(const UsedItem& item);

// Extracts (through `cache`) and writes the item's icon as "<data folder>\Icon\<md5>.png" and
// answers that path when the file exists afterwards (also when this save failed but an earlier
// one succeeded); empty otherwise.
std::wstring ExportIconPng(const UsedItem& item, CIconCache& cache);

}  // namespace velmora
