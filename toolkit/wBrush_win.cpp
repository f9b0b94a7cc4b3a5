#include <windows.h>

#include "runtime/syscalls_win.h"
#include "toolkit/wBrush.h"
#include "toolkit/wError.h"
#include "toolkit/wGdiObject_win.h"

namespace setup {

wBrush::wBrush(wColour colour, std::int32_t style) : colour_(colour), style_(0) {
  LOGBRUSH logBrush{};
  logBrush.lbStyle = style == hollowStyle ? BS_HOLLOW : BS_SOLID;
  logBrush.lbColor = static_cast<COLORREF>(colour);
  logBrush.lbHatch = 0;
  HBRUSH brush = sys.CreateBrushIndirect(&logBrush);
  if (brush == nullptr) throw wBrushError("init");
  adopt(brush, releaseGdiObject);
  style_ = static_cast<std::int32_t>(logBrush.lbStyle | (logBrush.lbHatch << 16));
}

const std::shared_ptr<wBrush>& wBrush::transparent() {
  static const std::shared_ptr<wBrush> brush = std::make_shared<wBrush>(0xFFFFFF, hollowStyle);
  return brush;
}

}  // namespace setup
