// Window scroll bars (WS_HSCROLL, WS_VSCROLL) of windows whose class the
// toolkit registered (frames, panels). A scroll request from the user moves
// the thumb first, then raises on the window wEvent_Scroll and after it the
// request's own event, both with the bar and the thumb's new position
// (wEvent::scrollBar, wEvent::scrollPosition); handlers move the content.
//
//   request           SB_ code  event
//   any                         wEvent_Scroll             32796
//   line up / left       0      wEvent_ScrollLineUp       32797
//   line down / right    1      wEvent_ScrollLineDown     32798
//   page up / left       2      wEvent_ScrollPageUp       32799
//   page down / right    3      wEvent_ScrollPageDown     32800
//   thumb released       4      wEvent_ScrollThumbRelease 32801
//   thumb dragged        5      wEvent_ScrollThumbTrack   32802
//   to the top / left    6      wEvent_ScrollTop          32803
//   to the bottom/right  7      wEvent_ScrollBottom       32804
//   request ended        8      wEvent_ScrollEnd          32805
//
// Positions are in the program's own unit: a line is one unit, a page is the
// range's page, so a program that scrolls by lines of text counts in lines.
#pragma once

#include <cstdint>
#include <vector>

namespace setup {

// The native bar numbers (SB_HORZ, SB_VERT).
enum class wScrollBar : std::uint8_t { horizontal = 0, vertical = 1 };

// A bar's range and thumb. The thumb covers page units and moves from
// minimum to maximum - page + 1 (to maximum without a page).
struct wScrollRange {
  std::int32_t minimum = 0;
  std::int32_t maximum = 0;
  std::uint32_t page = 0;
  std::int32_t position = 0;
  friend bool operator==(const wScrollRange&, const wScrollRange&) = default;
};

// The native request codes (SB_LINEUP … SB_ENDSCROLL).
namespace sb {
inline constexpr std::uint32_t lineUp = 0;
inline constexpr std::uint32_t lineDown = 1;
inline constexpr std::uint32_t pageUp = 2;
inline constexpr std::uint32_t pageDown = 3;
inline constexpr std::uint32_t thumbPosition = 4;
inline constexpr std::uint32_t thumbTrack = 5;
inline constexpr std::uint32_t top = 6;
inline constexpr std::uint32_t bottom = 7;
inline constexpr std::uint32_t endScroll = 8;
}  // namespace sb

// The events a request raises, in order: wEvent_Scroll, then the request's
// own; wEvent_Scroll alone for a code the table does not know.
std::vector<std::uint32_t> scrollEventsFor(std::uint32_t code);

// The highest position the thumb can take.
std::int32_t lastScrollPosition(const wScrollRange& range);

// The thumb's position after a request; trackPosition is where the user
// holds or dropped the thumb (thumb requests only). Never outside the range.
std::int32_t scrolledPosition(const wScrollRange& range, std::uint32_t code,
                              std::int32_t trackPosition);

// The first parameter of the scroll events: the request code in the low
// word, the bar in the high word.
std::uint64_t scrollEventFirst(std::uint32_t code, wScrollBar bar);

}  // namespace setup
