#include "toolkit/wFont.h"

#include <cmath>
#include <limits>

#include "runtime/errors.h"

namespace setup {

std::int32_t fontHeightForPoints(double points, std::int32_t dpiY) {
  const double height = -std::round(static_cast<double>(dpiY) * points / 72.0);
  if (!(height >= std::numeric_limits<std::int32_t>::min() &&
        height <= std::numeric_limits<std::int32_t>::max())) {
    throw OverflowError("font size out of range", "fontHeightForPoints");
  }
  return static_cast<std::int32_t>(height);
}

double pointsForFontHeight(std::int32_t height, std::int32_t dpiY) {
  return -(static_cast<double>(height) * 72.0) / static_cast<double>(dpiY);
}

}  // namespace setup
