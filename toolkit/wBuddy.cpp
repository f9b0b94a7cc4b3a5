#include "toolkit/wBuddy.h"

namespace setup {

wBorders measureBorders(wRect oldWindow, wRect newClient, std::int32_t margin) {
  return {newClient.left - oldWindow.left + margin, newClient.top - oldWindow.top + margin,
          oldWindow.right - newClient.right + margin, oldWindow.bottom - newClient.bottom + margin};
}

wRect clientWithoutBuddy(wRect client, wSide side, wSize buddy) {
  switch (side) {
    case wSide::left:
      client.left += buddy.width;
      break;
    case wSide::right:
      client.right -= buddy.width;
      break;
    case wSide::top:
      client.top += buddy.height;
      break;
    case wSide::bottom:
      client.bottom -= buddy.height;
      break;
    default:
      break;
  }
  return client;
}

wRect buddyRect(wRect window, wBorders b, wSide side, wSize buddy) {
  wRect r;
  switch (side) {
    case wSide::right:
      r.top = window.top + b.top;
      r.bottom = window.bottom - b.bottom;
      r.right = window.right - b.right;
      r.left = r.right - buddy.width;
      // A thicker right border (a scroll bar) would hide the buddy; keep it
      // as far from the edge as the left border is.
      if (b.left < b.right) {
        r.left += b.right - b.left;
        r.right += b.right - b.left;
      }
      return r;
    case wSide::left:
      r.top = window.top + b.top;
      r.bottom = window.bottom - b.bottom;
      r.left = window.left + b.left;
      r.right = r.left + buddy.width;
      return r;
    case wSide::top:
      r.left = window.left + b.left;
      r.right = window.right - b.right;
      r.top = window.top + b.top;
      r.bottom = r.top + buddy.height;
      break;
    case wSide::bottom:
      r.left = window.left + b.left;
      r.right = window.right - b.right;
      r.bottom = window.bottom - b.bottom;
      r.top = r.bottom - buddy.height;
      break;
    default:
      return {};
  }
  if (b.left < b.right) r.right += b.right - b.left;
  return r;
}

}  // namespace setup
