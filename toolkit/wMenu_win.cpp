// Showing the program's menus, and the built-in handlers that turn menu
// notifications into events.
#include <optional>

#include "toolkit/wInternal_win.h"
#include "toolkit/wMenu.h"

namespace setup {
namespace {

std::optional<std::uint32_t> itemId(HMENU menu, UINT position) {
  MENUITEMINFOW item{};
  item.cbSize = sizeof item;
  item.fMask = MIIM_ID;
  if (!sys.GetMenuItemInfoW(menu, position, TRUE, &item)) return std::nullopt;
  return item.wID;
}

// WM_MENUCOMMAND and WM_MENURBUTTONUP: the item by its position in the menu.
void raiseItemEvent(wWindow& window, wEvent& e, std::uint32_t event) {
  const auto position = static_cast<UINT>(e.first() & 0xFFFF);
  const std::optional<std::uint32_t> id = itemId(reinterpret_cast<HMENU>(e.second()), position);
  if (!id) return e.skip();
  const std::uint64_t first = (*id & 0xFFFF) | (std::uint64_t{position} << 16);
  if (!window.raise(event, first, e.second()).processed) e.skip();
}

}  // namespace

bool notifyByPosition(wHandle menu) {
  const auto h = static_cast<HMENU>(menu);
  MENUINFO info{};
  info.cbSize = sizeof info;
  info.fMask = MIM_STYLE;
  if (!sys.GetMenuInfo(h, &info)) return false;
  // The style of the menu a choice starts from counts for its sub-menus too;
  // theirs stay as they are.
  info.dwStyle |= MNS_NOTIFYBYPOS;
  return sys.SetMenuInfo(h, &info) != FALSE;
}

bool popupMenu(wWindow& owner, wHandle menu, wPoint screen) {
  if (!notifyByPosition(menu)) return false;
  // Without TPM_RIGHTBUTTON: a right click on an item is a right click
  // (wEvent_MenuRightClick), not a choice.
  return sys.TrackPopupMenu(static_cast<HMENU>(menu), TPM_LEFTALIGN | TPM_TOPALIGN, screen.x,
                            screen.y, 0, hwndOf(owner), nullptr) != FALSE;
}

void connectMenuHandlers(wWindow& window) {
  wWindow* w = &window;
  window.connect(WM_MENURBUTTONUP,
                 [w](wEvent& e) { raiseItemEvent(*w, e, wEvent_MenuRightClick); });
  window.connect(WM_MENUCOMMAND, [w](wEvent& e) { raiseItemEvent(*w, e, wEvent_Menu); });
}

void connectMenuHelp(wWindow& frame) {
  wWindow* f = &frame;
  frame.connect(WM_MENUSELECT, [f](wEvent& e) {
    const std::uint32_t flags = HIWORD(e.first());
    const auto menu = reinterpret_cast<HMENU>(e.second());
    std::uint32_t item = LOWORD(e.first());
    if (flags == wMenuClosed && menu == nullptr) {
      item = 0;
    } else if ((flags & MF_POPUP) != 0) {
      // The low word is then the sub-menu's position, not an identifier.
      item = itemId(menu, item).value_or(0);
    }
    const std::uint64_t first = (item & 0xFFFF) | (std::uint64_t{flags} << 16);
    if (!f->raise(wEvent_MenuHighlight, first, e.second()).processed) e.skip();
  });
}

}  // namespace setup
