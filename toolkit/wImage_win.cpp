#include <windows.h>

#include <cstring>

#include "runtime/syscalls_win.h"
#include "toolkit/wError.h"
#include "toolkit/wGdiObject_win.h"
#include "toolkit/wIconImage.h"
#include "toolkit/wImage.h"

namespace setup {

namespace {

constexpr std::uint32_t uncompressed = 0;

UniqueGdiplusImage decodeStream(std::string_view bytes) {
  ensureGdiplus();
  // Throws LibraryError when shlwapi lacks the stream: no image either way.
  UniqueStream stream(sys.SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                            static_cast<UINT>(bytes.size())));
  if (stream == nullptr) throw wImageError("error");
  gdiplus::GpBitmap* bitmap = nullptr;
  if (sys.GdipCreateBitmapFromStream(stream.get(), &bitmap) != 0 || bitmap == nullptr) {
    throw wImageError("error");
  }
  return UniqueGdiplusImage(reinterpret_cast<gdiplus::GpImage*>(bitmap));
}

}  // namespace

void wImage::Dispose::operator()(void* image) const {
  sys.GdipDisposeImage(static_cast<gdiplus::GpImage*>(image));
}

wImage::wImage(std::string_view bytes) {
  if (bytes.size() > 0xFFFFFFFFu) throw wImageError("error");
  image_.reset(decodeStream(bytes).release());
}

wImage::wImage(const wIconImage& image) {
  const std::string& bytes = image.bytes();
  if (isPng(bytes)) {
    image_.reset(decodeStream(bytes).release());
    return;
  }
  std::optional<DibImageInfo> info = dibImageInfo(bytes);
  if (!info) throw wImageError("error");
  if (info->bitCount != 32 || info->compression != uncompressed) {
    image_.reset(decodeStream(singleImageIconFile(bytes)).release());
    return;
  }
  ensureGdiplus();
  // dibImageInfo has checked that the pixels follow the header in full.
  pixels_ = std::make_unique<std::uint8_t[]>(info->pixelBytes);
  std::memcpy(pixels_.get(), bytes.data() + info->pixelOffset, info->pixelBytes);
  gdiplus::GpBitmap* bitmap = nullptr;
  if (sys.GdipCreateBitmapFromScan0(info->width, info->height, info->width * 4,
                                    gdiplus::pixelFormat32bppARGB, pixels_.get(), &bitmap) != 0 ||
      bitmap == nullptr) {
    throw wImageError("error");
  }
  image_.reset(bitmap);
  // DIB rows run bottom-up.
  if (sys.GdipImageRotateFlip(static_cast<gdiplus::GpImage*>(get()), gdiplus::rotateNoneFlipY) !=
      0) {
    throw wImageError("error");
  }
}

std::uint32_t wImage::width() const {
  UINT width = 0;
  sys.GdipGetImageWidth(static_cast<gdiplus::GpImage*>(get()), &width);
  return width;
}

std::uint32_t wImage::height() const {
  UINT height = 0;
  sys.GdipGetImageHeight(static_cast<gdiplus::GpImage*>(get()), &height);
  return height;
}

}  // namespace setup
