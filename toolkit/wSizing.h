// Default and best sizes as arithmetic over what the platform measured:
// the caller measures texts and asks controls, these functions decide.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "toolkit/wClass.h"
#include "toolkit/wStyle.h"
#include "toolkit/wTypes.h"

namespace setup {

// a * b / c rounded to the nearest integer, halves away from zero; -1 when c
// is 0 or the result does not fit (as the system's MulDiv).
std::int32_t mulDiv(std::int32_t a, std::int32_t b, std::int32_t c);

// The 52 letters whose extent gives a font's average character width.
inline constexpr std::string_view wSampleLetters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// A 50 x 14 dialog-unit button in a font whose sample letters measure sample.
wSize buttonDefaultSize(wSize sample);

// Which rule gives a window its size when created without one.
enum class wDefaultSizeRule {
  buttonLetters,   // buttonDefaultSize of the font's sample
  frame,           // 640 x 480
  staticText,      // best width, probe combo box height
  textCtrl,        // textDefaultSize
  toolBar,         // toolBarDefaultSize
  scaledBestSize,  // the combo box's (list box's) best size at scale 1.3
  parentClient,    // the parent's client size, 0 x 0 without parent
};
wDefaultSizeRule defaultSizeRule(wClassKind kind);

inline constexpr wSize wFrameDefaultSize{640, 480};
inline constexpr double wDefaultSizeScale = 1.3;

// 120 wide, one probe combo box high, three for a multi-line field.
wSize textDefaultSize(std::int32_t probeHeight, bool multiLine);

// Ideal size of a tool bar, before it has tools (ideal 0) its button size,
// and the padding once more around the buttons.
wSize toolBarDefaultSize(wSize ideal, wSize button, wSize padding);

// A label's text extent plus 2 each way.
wSize staticBestSize(wSize textExtent);

// Lines of a text, split at "\r\n", "\r" or "\n"; an empty text is one line.
std::vector<std::string_view> splitLines(std::string_view text);

struct wTextMeasure {
  std::int32_t widestLine = 0;
  std::int32_t lineHeight = 0;
  std::int32_t lineCount = 1;  // the field's own count (EM_GETLINECOUNT)
  std::int32_t leftMargin = 0;
  std::int32_t rightMargin = 0;
  std::int32_t vScrollWidth = 0;   // SM_CXVSCROLL
  std::int32_t hScrollHeight = 0;  // SM_CYHSCROLL
};
wSize textBestSize(const wTextMeasure& m, std::uint32_t style);

// Width of a combo box: the widest item (scaled, truncated, plus 8) but at
// least the probe height, plus the drop-down button and 2.
std::int32_t comboBestWidth(std::int32_t probeHeight, std::span<const std::int32_t> itemWidths,
                            double scale, std::int32_t buttonWidth);

// A simple combo box (CBS_SIMPLE) shows its list under its field, as many
// items high as it has, but at least minimumItems and at most
// wSimpleComboMostItems: item height x items + the field (probeHeight) + 4.
// A list that scrolls is wider by its scroll bar.
inline constexpr std::int32_t wSimpleComboLeastItems = 3;
inline constexpr std::int32_t wSimpleComboMostItems = 10;
struct wSimpleComboMeasure {
  std::int32_t width = 0;  // as a drop-down combo box of the same items
  std::int32_t probeHeight = 0;
  std::int32_t itemHeight = 0;  // CB_GETITEMHEIGHT of the list
  std::int32_t itemCount = 0;
  std::int32_t vScrollWidth = 0;  // SM_CXVSCROLL
};
wSize simpleComboSize(const wSimpleComboMeasure& m,
                      std::int32_t minimumItems = wSimpleComboLeastItems);

// A plain window: the far edges of its children plus its non-client size, or
// its current size without children. Child rectangles are in its client area.
wSize plainBestSize(std::span<const wRect> children, wSize nonClient, wSize current);

// A bar docked in a window, as far as the window's client area is concerned.
struct wDockedBarRoom {
  wSide side = wSide::top;
  wSize size;
  bool takesRoom = true;
};

// The part of a window's client area that its children live in: the native
// client rectangle (at 0, 0) less the margins and less the bars that take room.
struct wClientArea {
  wPoint origin;
  wSize size;
  friend bool operator==(const wClientArea&, const wClientArea&) = default;
};
wClientArea clientArea(wSize nativeClient, wMargins margins, std::span<const wDockedBarRoom> bars);

// A set-size component: wDefault keeps the current value.
inline std::int32_t givenOr(std::int32_t given, std::int32_t current) {
  return given == wDefault ? current : given;
}

}  // namespace setup
