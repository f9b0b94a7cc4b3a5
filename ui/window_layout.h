// The main window's layout: 36 required equalities that place the nine
// laid-out controls inside the panel's inner area (the panel's client area
// less its margins) from their preferred sizes. The tool bars are not laid
// out: they sit inside their fields as buddies.
//
// This part knows only solver variables and sizes, so it runs without
// windows; layoutMainWindow (main_window.h) feeds it the real controls.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "layout/solver.h"

namespace setup {

// A preferred size (bestSize) in pixels.
struct LayoutSize {
  std::int32_t bw = 0, bh = 0;
};

// One window as the layout sees it: its four variables (left, top, width,
// height, in the panel's inner coordinates) and how its preferred size is read.
struct LayoutWindow {
  layout::Variable left, top, width, height;
  // Asked each time a relation that uses the size is built, not before.
  std::function<LayoutSize()> preferred;
};

// The laid-out controls, in the order their relations are added.
enum MainWindowControl : std::size_t {
  kLibraryLabel,   // L1
  kLibraryCombo,   // CB
  kHeadingLabel,   // G
  kPaletteLabel,   // LP
  kPaletteField,   // TP
  kScriptLabel,    // LS
  kScriptField,    // TS
  kInstallButton,  // BI
  kCancelButton,   // BC
  kMainWindowControls
};
using MainWindowControls = std::array<LayoutWindow, kMainWindowControls>;

// Makes the panel's variables edit variables (just below required), then for
// each control in order registers it (its variables become weak edit
// variables, unless they are already) and adds its four relations.
// Throws what the solver throws.
void buildMainWindowRelations(layout::Solver& solver, const LayoutWindow& panel,
                              const MainWindowControls& controls);

// A pixel rectangle in the panel's inner coordinates.
struct LayoutRect {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const LayoutRect&, const LayoutRect&) = default;
};

// The steps of placing: the panel's inner size and a window's present
// rectangle are suggested, the solver refreshed, and each window's solved
// rectangle read, rounded.
void suggestPanel(layout::Solver& solver, const LayoutWindow& panel, std::int32_t innerWidth,
                  std::int32_t innerHeight);
void suggestPresent(layout::Solver& solver, const LayoutWindow& window, const LayoutRect& present);
LayoutRect solvedRect(const LayoutWindow& window);

// All of placing for windows in one list: returns their solved rectangles.
std::vector<LayoutRect> solveLayout(layout::Solver& solver, const LayoutWindow& panel,
                                    std::int32_t innerWidth, std::int32_t innerHeight,
                                    std::span<const LayoutWindow> windows,
                                    std::span<const LayoutRect> present);

// The nearest integer, halves away from zero (2.5 gives 3, -2.5 gives -3).
// Throws ValueError when the value is not a 32-bit integer after rounding.
std::int32_t roundToPixel(double value);

}  // namespace setup

namespace setup {

// The top-left corner that centres a window of size (width, height) in area,
// kept on a screen of the given size: x and y below 0 become 0, and a window
// reaching past the screen's right or bottom edge moves back inside (so one
// larger than the screen gets a negative coordinate).
struct CentredOrigin {
  std::int32_t x, y;
  friend bool operator==(const CentredOrigin&, const CentredOrigin&) = default;
};
CentredOrigin centredOrigin(std::int32_t width, std::int32_t height, std::int32_t areaLeft,
                            std::int32_t areaTop, std::int32_t areaWidth, std::int32_t areaHeight,
                            std::int32_t screenWidth, std::int32_t screenHeight);

}  // namespace setup
