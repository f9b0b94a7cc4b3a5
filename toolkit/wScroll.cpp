#include "toolkit/wScroll.h"

#include <algorithm>

#include "toolkit/wEvent.h"

namespace setup {

std::vector<std::uint32_t> scrollEventsFor(std::uint32_t code) {
  if (code > sb::endScroll) return {wEvent_Scroll};
  return {wEvent_Scroll, wEvent_ScrollLineUp + code};
}

std::int32_t lastScrollPosition(const wScrollRange& range) {
  // A page wider than the range leaves the thumb at the minimum.
  const std::int64_t page = std::max<std::int64_t>(range.page, 1);
  const std::int64_t last = std::int64_t{range.maximum} - page + 1;
  return static_cast<std::int32_t>(std::max<std::int64_t>(last, range.minimum));
}

std::int32_t scrolledPosition(const wScrollRange& range, std::uint32_t code,
                              std::int32_t trackPosition) {
  // 64 bits: a page added to a position near the ends must not wrap.
  std::int64_t wanted = range.position;
  switch (code) {
    case sb::lineUp:
      wanted -= 1;
      break;
    case sb::lineDown:
      wanted += 1;
      break;
    case sb::pageUp:
      wanted -= std::max<std::int64_t>(range.page, 1);
      break;
    case sb::pageDown:
      wanted += std::max<std::int64_t>(range.page, 1);
      break;
    case sb::thumbPosition:
    case sb::thumbTrack:
      wanted = trackPosition;
      break;
    case sb::top:
      wanted = range.minimum;
      break;
    case sb::bottom:
      wanted = lastScrollPosition(range);
      break;
    default:
      break;
  }
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(wanted, range.minimum, lastScrollPosition(range)));
}

std::uint64_t scrollEventFirst(std::uint32_t code, wScrollBar bar) {
  return (code & 0xFFFF) | (std::uint64_t{static_cast<std::uint8_t>(bar)} << 16);
}

wScrollBar wEvent::scrollBar() const {
  return ((first_ >> 16) & 0xFFFF) == 0 ? wScrollBar::horizontal : wScrollBar::vertical;
}

std::int32_t wEvent::scrollPosition() const {
  return static_cast<std::int32_t>(second_);
}

}  // namespace setup
