// Brushes: solid, or hollow (style 5) for a transparent background.
#pragma once

#include <cstdint>
#include <memory>

#include "toolkit/wGdiObject.h"
#include "toolkit/wTypes.h"

namespace setup {

class wBrush : public wGdiObject {
 public:
  static constexpr std::int32_t hollowStyle = 5;  // BS_HOLLOW

  // Style 5 makes a hollow brush, every other a solid one. Throws wBrushError.
  wBrush(wColour colour, std::int32_t style);

  // The shared transparent brush (colour 0xFFFFFF, hollow), made on first use
  // and kept for the process.
  static const std::shared_ptr<wBrush>& transparent();

  wColour colour() const { return colour_; }
  // The LOGBRUSH style and hatch as style | hatch << 16.
  std::int32_t style() const { return style_; }

 private:
  wColour colour_;
  std::int32_t style_;
};

}  // namespace setup
