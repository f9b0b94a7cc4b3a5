#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "runtime/syscalls_win.h"
#include "toolkit/wBitmap.h"
#include "toolkit/wError.h"
#include "toolkit/wGdiObject_win.h"
#include "toolkit/wIcon.h"
#include "toolkit/wIconImage.h"
#include "toolkit/wImage.h"

namespace setup {

namespace {

constexpr DWORD mergeCopy = 0xC000CA;  // source AND pattern: the white brush keeps the source

struct DibBitmap {
  UniqueBitmap bitmap;
  DIBSECTION section{};
  std::size_t bytes() const {
    return static_cast<std::size_t>(section.dsBm.bmWidthBytes) *
           static_cast<std::size_t>(std::abs(section.dsBm.bmHeight));
  }
  std::string_view bits() const { return {static_cast<const char*>(section.dsBm.bmBits), bytes()}; }
};

// The bitmap as a DIB section, which replaces it; nothing if it cannot be one.
std::optional<DibBitmap> asDibSection(UniqueBitmap& bitmap) {
  if (bitmap == nullptr) return std::nullopt;
  auto copy = static_cast<HBITMAP>(
      sys.CopyImage(bitmap.get(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION | LR_COPYDELETEORG));
  if (copy == nullptr) return std::nullopt;
  static_cast<void>(bitmap.release());  // deleted by CopyImage
  DibBitmap result{UniqueBitmap(copy)};
  if (sys.GetObjectW(copy, sizeof result.section, &result.section) != sizeof result.section ||
      result.section.dsBm.bmBits == nullptr) {
    return std::nullopt;
  }
  return result;
}

// The mask drawn into 32 bits per pixel: black where it is 0.
// REQUIRES: height with the colour pixels' sign, so that rows match.
std::optional<DibBitmap> maskAsPixels(const DibBitmap& mask, LONG width, LONG height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  DibBitmap result{
      UniqueBitmap(sys.CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0))};
  if (result.bitmap == nullptr || bits == nullptr) return std::nullopt;
  {
    // The device contexts go first: deleting them finishes the drawing.
    UniqueMemoryDC source(sys.CreateCompatibleDC(nullptr));
    UniqueMemoryDC target(sys.CreateCompatibleDC(nullptr));
    if (source == nullptr || target == nullptr) return std::nullopt;
    Selection sourceSelection(source.get(), mask.bitmap.get());
    Selection targetSelection(target.get(), result.bitmap.get());
    if (!sys.BitBlt(target.get(), 0, 0, width, std::abs(height), source.get(), 0, 0, mergeCopy)) {
      return std::nullopt;
    }
  }
  if (sys.GetObjectW(result.bitmap.get(), sizeof result.section, &result.section) !=
      sizeof result.section) {
    return std::nullopt;
  }
  return result;
}

// The rows of a DIB bottom-up, each rowBytes long.
std::string bottomUpRows(const DibBitmap& dib, std::size_t rowBytes, LONG height) {
  const bool topDown = dib.section.dsBmih.biHeight < 0;
  const auto stride = static_cast<std::size_t>(dib.section.dsBm.bmWidthBytes);
  const std::string_view bits = dib.bits();
  std::string rows;
  for (LONG row = 0; row < height; ++row) {
    const std::size_t source = static_cast<std::size_t>(topDown ? height - 1 - row : row) * stride;
    std::string_view line = bits.substr(std::min(source, bits.size()), std::min(stride, rowBytes));
    rows += line;
    rows.append(rowBytes - line.size(), '\0');
  }
  return rows;
}

std::span<std::uint32_t> pixelsOf(const DibBitmap& dib) {
  return {static_cast<std::uint32_t*>(dib.section.dsBm.bmBits), dib.bytes() / 4};
}

// The icon's image: a DIB header, the colour pixels (alpha from the mask when
// they have none) and the mask. Throws wIconImageError.
wIconImage iconImageOf(HICON icon) {
  ICONINFO info{};
  if (!sys.GetIconInfo(icon, &info)) throw wIconImageError("error");
  UniqueBitmap colourBitmap(info.hbmColor);
  UniqueBitmap maskBitmap(info.hbmMask);
  std::optional<DibBitmap> colour = asDibSection(colourBitmap);
  std::optional<DibBitmap> mask = asDibSection(maskBitmap);
  if (!colour || !mask) throw wIconImageError("error");
  const BITMAP& shape = colour->section.dsBm;
  const LONG width = shape.bmWidth;
  const LONG height = std::abs(shape.bmHeight);
  if (std::abs(mask->section.dsBm.bmHeight) < height || mask->section.dsBm.bmWidth != width) {
    throw wIconImageError("error");
  }
  if (shape.bmBitsPixel == 32 && !hasAlpha(pixelsOf(*colour))) {
    std::optional<DibBitmap> maskPixels =
        maskAsPixels(*mask, width, colour->section.dsBmih.biHeight);
    if (!maskPixels || maskPixels->bytes() != colour->bytes()) throw wIconImageError("error");
    alphaFromMask(pixelsOf(*colour), pixelsOf(*maskPixels));
  }
  const auto rowBytes = [&](int bitCount) {
    return (static_cast<std::size_t>(width) * bitCount + 31) / 32 * 4;
  };
  std::string image = buildIconImage(width, height, shape.bmBitsPixel,
                                     bottomUpRows(*colour, rowBytes(shape.bmBitsPixel), height),
                                     bottomUpRows(*mask, rowBytes(1), height));
  if (image.empty()) throw wIconImageError("error");
  const wPoint hotSpot = info.fIcon ? iconHotSpot
                                    : wPoint{static_cast<std::int32_t>(info.xHotspot),
                                             static_cast<std::int32_t>(info.yHotspot)};
  return wIconImage(std::move(image), hotSpot);
}

}  // namespace

wBitmap::wBitmap(const wIcon& icon) {
  const wImage image(iconImageOf(static_cast<HICON>(icon.handle())));
  auto* bitmap = static_cast<gdiplus::GpBitmap*>(image.get());
  HBITMAP handle = nullptr;
  if (sys.GdipCreateHBITMAPFromBitmap(bitmap, &handle, 0) != 0 || handle == nullptr) {
    throw wBitmapError("error");
  }
  adopt(handle, releaseGdiObject);
  width_ = static_cast<std::int32_t>(image.width());
  height_ = static_cast<std::int32_t>(image.height());
}

}  // namespace setup
