// Menus. The program makes its menus and owns their handles (a menu bar set
// on a frame goes with the frame); the toolkit shows them and turns what the
// user does in them into events on the window that owns the menu:
//
//   item chosen         wEvent_Menu (32917)
//   item right-clicked  wEvent_MenuRightClick (32918)
//       first parameter: the item identifier (the command identifier) in the
//       low word, the item's position in the high word; second: the menu.
//       Both are commands: they climb from the owner to its parents.
//   item highlighted    wEvent_MenuHighlight (32916), frames only (menu help,
//       e.g. a status text): the item identifier in the low word, the MF_
//       flags in the high word; when the menu closes, item 0 with flags
//       wMenuClosed and no menu.
//
// The system reports a choice by position (WM_MENUCOMMAND) only for menus
// with MNS_NOTIFYBYPOS: give a menu bar that style with notifyByPosition
// before it is shown; popupMenu gives it itself.
#pragma once

#include <cstdint>

#include "toolkit/wTypes.h"

namespace setup {

class wWindow;

// The flags of wEvent_MenuHighlight when the menu closed.
inline constexpr std::uint32_t wMenuClosed = 0xFFFF;

// Adds MNS_NOTIFYBYPOS to menu (a menu bar or a pop-up menu); items of its
// sub-menus then report by position too. Returns false when the system
// refused (menu is not a menu).
bool notifyByPosition(wHandle menu);

// Shows menu as a pop-up with its top left corner at a screen point and
// returns when it closed; the item chosen raises wEvent_Menu on owner once
// the owner's queue gets to it. Returns false when the menu could not be shown.
bool popupMenu(wWindow& owner, wHandle menu, wPoint screen);

}  // namespace setup
