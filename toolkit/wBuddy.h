// The geometry of a buddy: a small control (a tool bar) that lives inside the
// non-client border of another control (a text field) on one side.
#pragma once

#include <cstdint>

#include "toolkit/wStyle.h"
#include "toolkit/wTypes.h"

namespace setup {

inline constexpr wSize wBuddyDefaultSize{24, 24};

// Widths of a control's non-client border on each side.
struct wBorders {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
  friend bool operator==(const wBorders&, const wBorders&) = default;
};

// The borders from a window rectangle before the default non-client
// calculation and the client rectangle it produced, each plus the margin.
wBorders measureBorders(wRect oldWindow, wRect newClient, std::int32_t margin);

// The client rectangle less the buddy's room on its side.
wRect clientWithoutBuddy(wRect client, wSide side, wSize buddy);

// Where the buddy goes, from the control's window rectangle (same coordinate
// system in and out). An unknown side gives an empty rectangle.
wRect buddyRect(wRect window, wBorders borders, wSide side, wSize buddy);

}  // namespace setup
