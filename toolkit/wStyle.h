// Style arithmetic: the toolkit's 64-bit style word, groups, docked bars.
#pragma once

#include <cstdint>
#include <optional>

#include "toolkit/wClass.h"

namespace setup {

// The style word: low 32 bits the window style, bits 32-59 the extended
// style, bit 60 a hidden owner window, bit 61 start hidden. Bits 62 and 63
// are the classes' own (wTextCtrl::acceptsTabs).
struct wNativeStyle {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
  bool hiddenOwner = false;  // only for windows without parent
};

// What CreateWindowExW gets. Top-level windows start invisible and clip
// their children; children are visible children unless bit 61 says hidden.
wNativeStyle nativeStyle(std::uint64_t style, bool hasParent);

// add style bits: the low half goes to the window style, the high half to
// the extended style.
struct wStyleBits {
  std::uint32_t style = 0;
  std::uint32_t exStyle = 0;
};
wStyleBits splitStyleBits(std::uint64_t bits);

// A control starts a group when it is the first control of its parent, or
// when exactly one of it and the previous control is a radio button.
bool startsGroup(std::optional<wClassKind> previousControl, wClassKind kind);

// Sides of docked bars and buddies, as the native values.
enum class wSide : std::uint32_t { none = 0, left = 16, right = 32, top = 64, bottom = 128 };

// The side a tool bar docks on, from its tool-bar style (TB_GETSTYLE).
wSide dockedBarSide(std::uint32_t toolBarStyle);

// A docked bar takes room from its parent only while visible and while it
// aligns to its parent (neither CCS_NORESIZE nor CCS_NOPARENTALIGN).
bool dockedBarTakesRoom(bool visible, std::uint32_t style);

// Button image alignment (BUTTON_IMAGELIST) for a side value: 16 or none
// left, 32 right, 64 top, 128 bottom, 48 or 192 centre.
std::uint32_t buttonImageAlignment(std::uint32_t side);

}  // namespace setup
