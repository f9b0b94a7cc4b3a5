#include "toolkit/wBitmap.h"

#include <algorithm>

namespace setup {

bool hasAlpha(std::span<const std::uint32_t> pixels) {
  return std::any_of(pixels.begin(), pixels.end(),
                     [](std::uint32_t pixel) { return (pixel & 0xFF000000u) != 0; });
}

void alphaFromMask(std::span<std::uint32_t> pixels, std::span<const std::uint32_t> mask) {
  const std::size_t count = std::min(pixels.size(), mask.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t alpha = (mask[i] & 0x00FFFFFFu) == 0 ? 0xFF000000u : 0;
    pixels[i] = (pixels[i] & 0x00FFFFFFu) | alpha;
  }
}

}  // namespace setup
