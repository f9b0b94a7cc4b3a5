// Bitmaps with alpha, made from icons for tool bars.
#pragma once

#include <cstdint>
#include <span>

#include "toolkit/wGdiObject.h"

namespace setup {

class wIcon;

// True when some pixel (0xAARRGGBB) has a non-zero alpha byte.
bool hasAlpha(std::span<const std::uint32_t> pixels);

// Gives each pixel alpha 0xFF where the mask, drawn into 32 bits per pixel,
// is 0 (black), and alpha 0 where it is not. REQUIRES: equal sizes.
void alphaFromMask(std::span<std::uint32_t> pixels, std::span<const std::uint32_t> mask);

class wBitmap : public wGdiObject {
 public:
  // A 32-bit bitmap with alpha from the icon; an icon without any alpha gets
  // it from its mask. Throws wIconImageError, wImageError, wBitmapError.
  explicit wBitmap(const wIcon& icon);

  std::int32_t width() const { return width_; }
  std::int32_t height() const { return height_; }
  std::int32_t depth() const { return depth_; }

 private:
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  std::int32_t depth_ = 32;
};

}  // namespace setup
