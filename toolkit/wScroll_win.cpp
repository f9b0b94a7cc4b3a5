// Window scroll bars: the bars' range and thumb, and the built-in handler
// that moves the thumb and raises the scroll events.
#include "toolkit/wInternal_win.h"
#include "toolkit/wScroll.h"

namespace setup {
namespace {

wScrollRange rangeOf(const SCROLLINFO& info) {
  return {info.nMin, info.nMax, info.nPage, info.nPos};
}

}  // namespace

void wWindow::setScrollRange(wScrollBar bar, const wScrollRange& range) {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = range.minimum;
  info.nMax = range.maximum;
  info.nPage = range.page;
  info.nPos = range.position;
  sys.SetScrollInfo(hwndOf(*this), static_cast<int>(bar), &info, TRUE);
}

wScrollRange wWindow::scrollRange(wScrollBar bar) const {
  SCROLLINFO info{};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  if (!sys.GetScrollInfo(hwndOf(*this), static_cast<int>(bar), &info)) return {};
  return rangeOf(info);
}

void connectScrollBarHandlers(wWindow& window) {
  for (const wScrollBar bar : {wScrollBar::horizontal, wScrollBar::vertical}) {
    const UINT message = bar == wScrollBar::horizontal ? WM_HSCROLL : WM_VSCROLL;
    window.connectSystem(message, [w = &window, bar](wEvent& e) {
      // A scroll bar control names itself here; its requests are its own.
      if (e.second() != 0) return;
      const HWND h = hwndOf(*w);
      SCROLLINFO info{};
      info.cbSize = sizeof info;
      info.fMask = SIF_ALL;
      if (!sys.GetScrollInfo(h, static_cast<int>(bar), &info)) return;
      const auto code = static_cast<std::uint32_t>(LOWORD(e.first()));
      // The message's own thumb position has 16 bits; the track position 32.
      const std::int32_t wanted = scrolledPosition(rangeOf(info), code, info.nTrackPos);
      std::int32_t position = info.nPos;
      if (wanted != info.nPos) {
        SCROLLINFO moved{};
        moved.cbSize = sizeof moved;
        moved.fMask = SIF_POS;
        moved.nPos = wanted;
        position = sys.SetScrollInfo(h, static_cast<int>(bar), &moved, TRUE);
      }
      for (const std::uint32_t event : scrollEventsFor(code)) {
        w->raise(event, scrollEventFirst(code, bar), position);
      }
    });
  }
}

}  // namespace setup
