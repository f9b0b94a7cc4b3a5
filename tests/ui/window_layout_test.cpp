// The main window's layout as a pure computation: the 36 required equalities
// built by buildMainWindowRelations and solved by solveLayout, on a solver
// that checks its bookkeeping after every operation, give the result table of
// the window's layout for any preferred sizes and inner size.
#include "ui/window_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <ostream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "runtime/errors.h"

namespace setup {

std::ostream& operator<<(std::ostream& out, const LayoutRect& r) {
  return out << "(" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ")";
}

namespace {

struct Preferred {
  std::int32_t bw, bh;
};

// The nine controls' preferred sizes, in control order.
using Sizes = std::array<Preferred, kMainWindowControls>;

const char* const kNames[] = {"L1", "CB", "G", "LP", "TP", "LS", "TS", "BI", "BC"};

class MainWindowLayout {
 public:
  explicit MainWindowLayout(const Sizes& sizes) {
    for (std::size_t c = 0; c < kMainWindowControls; ++c) {
      controls_[c].preferred = [s = sizes[c]] { return LayoutSize{s.bw, s.bh}; };
    }
    buildMainWindowRelations(solver_, panel_, controls_);
  }

  // Placing: the panel's inner size and every window's present rectangle are
  // suggested, the windows visited in a shuffled order (the window set's
  // order has no effect), the solver refreshed and the results rounded.
  std::vector<LayoutRect> place(std::int32_t innerWidth, std::int32_t innerHeight,
                                const std::vector<LayoutRect>& present, std::uint64_t visitSeed) {
    std::array<std::size_t, kMainWindowControls> order;
    for (std::size_t c = 0; c < kMainWindowControls; ++c) order[c] = c;
    std::shuffle(order.begin(), order.end(), std::mt19937_64(visitSeed));
    std::vector<LayoutWindow> windows;
    std::vector<LayoutRect> rects;
    for (std::size_t c : order) {
      windows.push_back(controls_[c]);
      rects.push_back(present[c]);
    }
    const std::vector<LayoutRect> solved =
        solveLayout(solver_, panel_, innerWidth, innerHeight, windows, rects);
    std::vector<LayoutRect> placed(kMainWindowControls);
    for (std::size_t i = 0; i < kMainWindowControls; ++i) placed[order[i]] = solved[i];
    return placed;
  }

  const LayoutWindow& window(std::size_t c) const { return controls_[c]; }

 private:
  static layout::SolverOptions checkedOptions() {
    layout::SolverOptions o;
    o.checkInvariants = true;
    return o;
  }

  layout::Solver solver_{checkedOptions()};
  LayoutWindow panel_;
  MainWindowControls controls_;
};

std::vector<LayoutRect> layOut(const Sizes& sizes, std::int32_t innerWidth,
                               std::int32_t innerHeight, int solves = 1) {
  MainWindowLayout layout(sizes);
  std::vector<LayoutRect> present(kMainWindowControls);
  std::vector<LayoutRect> placed;
  for (int i = 0; i < solves; ++i) {
    placed = layout.place(innerWidth, innerHeight, present, static_cast<std::uint64_t>(i) + 1);
    present = placed;
  }
  return placed;
}

// Where the layout puts each control in an inner area W x H, with the half of
// (CB.bh - L1.bh) / 2 away from zero.
std::vector<LayoutRect> resultTable(const Sizes& z, std::int32_t W, std::int32_t H) {
  const auto [L1, CB, G, LP, TP, LS, TS, BI, BC] = z;
  const auto half = static_cast<std::int32_t>(std::lround((CB.bh - L1.bh) / 2.0));
  const std::int32_t rowLP = CB.bh + G.bh + 20;
  const std::int32_t rowLS = CB.bh + G.bh + TP.bh + 30;
  const std::int32_t button = H - BI.bh - 32;
  return {
      {0, half, L1.bw, L1.bh},
      {L1.bw + 10, 0, CB.bw + 10, CB.bh},
      {0, CB.bh + 10, G.bw, G.bh},
      {0, rowLP, LP.bw + 10, LP.bh},
      {LP.bw + 10, rowLP, W - LP.bw - 10, TP.bh},
      {0, rowLS, LP.bw + 10, LS.bh},
      {LP.bw + 10, rowLS, W - LP.bw - 10, TS.bh},
      {0, button, BI.bw + 32, BI.bh + 32},
      {W - BI.bw - 32, button, BI.bw + 32, BI.bh + 32},
  };
}

// Typical sizes: label 17 high, combo 23, fields 21, buttons 80 x 24.
const Sizes kTypical = {
    {{163, 17}, {52, 23}, {262, 17}, {45, 17}, {120, 21}, {37, 17}, {120, 21}, {80, 24}, {84, 24}}};

// Sizes as the controls would report them for Segoe UI 9.
const Sizes kSegoe = {
    {{79, 17}, {150, 23}, {260, 17}, {45, 17}, {100, 23}, {38, 17}, {100, 23}, {80, 24}, {86, 24}}};

TEST(MainWindowLayout, PlacesEveryControlByItsRelations) {
  const auto placed = layOut(kTypical, 624, 171);
  const std::vector<LayoutRect> expected = {
      {0, 3, 163, 17},                         // library label centred on the combo box
      {173, 0, 62, 23},                        // combo 10 to its right, 10 wider than it likes
      {0, 33, 262, 17},                        // heading 10 below
      {0, 60, 55, 17},                         // "Palette:" 10 wider than it likes
      {55, 60, 569, 21},                       // field to the inner right edge
      {0, 91, 55, 17},                         // "Script:" as wide as "Palette:"
      {55, 91, 569, 21},   {0, 115, 112, 56},  // buttons on the bottom edge, 32 larger
      {512, 115, 112, 56},                     // "Annuler" as large as "Installer"
  };
  EXPECT_EQ(placed, expected);
}

struct LayoutCase {
  const char* what;
  Sizes sizes;
  std::int32_t innerWidth, innerHeight;  // the panel's client size less 40
};

const LayoutCase kCases[] = {
    {"typical", kTypical, 624, 171},
    {"Segoe UI 9 in a client area of 664 x 211", kSegoe, 624, 171},
    {"odd half goes away from zero",
     {{{79, 17},
       {150, 22},
       {260, 17},
       {45, 17},
       {100, 23},
       {38, 17},
       {100, 23},
       {80, 24},
       {86, 24}}},
     624,
     171},
    {"label taller than the combo: negative half",
     {{{60, 26}, {120, 21}, {200, 15}, {52, 15}, {90, 21}, {40, 15}, {90, 21}, {75, 23}, {75, 23}}},
     660,
     220},
    {"too small: rows overlap the buttons", kSegoe, 160, 50},
};

TEST(MainWindowLayout, SolvesToTheResultTable) {
  for (const LayoutCase& c : kCases) {
    SCOPED_TRACE(c.what);
    MainWindowLayout layout(c.sizes);
    const std::int32_t W = c.innerWidth, H = c.innerHeight;
    // Controls come into being at positions of their own; they do not matter.
    std::vector<LayoutRect> present;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(kMainWindowControls); ++i) {
      present.push_back({7 * i - 3, 200 - i, 3 + i, 1});
    }
    const auto placed = layout.place(W, H, present, 1);
    const auto expected = resultTable(c.sizes, W, H);
    for (std::size_t i = 0; i < kMainWindowControls; ++i) {
      EXPECT_EQ(placed[i], expected[i]) << kNames[i];
    }
    // A second pass on the same relations with the placed geometry as present
    // rectangles gives the same geometry; a resized panel follows the table too.
    EXPECT_EQ(layout.place(W, H, placed, 2), expected);
    EXPECT_EQ(layout.place(W + 123, H + 45, placed, 3), resultTable(c.sizes, W + 123, H + 45));
  }
}

TEST(MainWindowLayout, HalfPixelOfCentringGoesAwayFromZero) {
  Sizes sizes = kTypical;
  sizes[kLibraryCombo].bh = 22;
  {
    MainWindowLayout layout(sizes);
    const auto placed = layout.place(624, 171, std::vector<LayoutRect>(kMainWindowControls), 1);
    EXPECT_EQ(layout.window(kLibraryLabel).top.value(), 2.5);
    EXPECT_EQ(placed[kLibraryLabel].top, 3);
  }
  sizes[kLibraryCombo].bh = 12;
  MainWindowLayout layout(sizes);
  const auto placed = layout.place(624, 171, std::vector<LayoutRect>(kMainWindowControls), 1);
  EXPECT_EQ(layout.window(kLibraryLabel).top.value(), -2.5);
  EXPECT_EQ(placed[kLibraryLabel].top, -3);
}

// The layout's edge cases with the sizes of one font: a combo box 23 high
// beside a label 17 high, a "Palette:" label 45 wide, an install button 80 x 24.
TEST(MainWindowLayout, EdgeCasesOfTheLayout) {
  MainWindowLayout layout(kSegoe);
  const auto placed = layout.place(624, 171, std::vector<LayoutRect>(kMainWindowControls), 1);
  EXPECT_EQ(layout.window(kLibraryLabel).top.value(), 3.0);
  EXPECT_EQ(placed[kLibraryLabel].top, 3);
  for (MainWindowControl field : {kPaletteField, kScriptField}) {
    EXPECT_EQ(placed[field].left, 55);
    EXPECT_EQ(placed[field].width, 569);
  }
  for (MainWindowControl button : {kInstallButton, kCancelButton}) {
    EXPECT_EQ(placed[button].width, 112);
    EXPECT_EQ(placed[button].height, 56);
    EXPECT_EQ(placed[button].top, 115);
  }
  EXPECT_EQ(placed[kCancelButton].left, 624 - 112);
}

// A preferred size is read when the relation that uses it is built: by then
// the windows before it, and its own, are registered, and no later one.
TEST(MainWindowLayout, ReadsEachPreferredSizeWhenARelationUsesIt) {
  static const char* const names[] = {"L1", "CB", "G", "LP", "TP", "LS", "TS", "BI", "BC"};
  layout::Solver solver;
  LayoutWindow panel;
  MainWindowControls controls;
  std::vector<std::string> reads;
  for (std::size_t i = 0; i < kMainWindowControls; ++i) {
    controls[i].preferred = [&, i] {
      int registered = 0;
      for (const LayoutWindow& c : controls) registered += solver.isEditVariable(c.left) ? 1 : 0;
      reads.push_back(std::string(names[i]) + "@" + std::to_string(registered));
      return LayoutSize{kTypical[i].bw, kTypical[i].bh};
    };
  }
  buildMainWindowRelations(solver, panel, controls);
  const std::vector<std::string> expected = {
      "L1@1", "CB@1", "L1@1", "L1@1",  // relations 2 to 4
      "CB@2", "CB@2",                  // 6, 8
      "G@3",  "G@3",                   // 10, 12
      "LP@4", "LP@4",                  // 14, 16
      "TP@5",                          // 20
      "LP@6", "LS@6",                  // 22, 24
      "TS@7",                          // 28
      "BI@8", "BI@8",                  // 30, 31
      "BI@9", "BI@9",                  // 33, 35: the cancel button takes the install button's size
  };
  EXPECT_EQ(reads, expected);
}

TEST(MainWindowLayout, SolvingAgainGivesTheSameGeometry) {
  EXPECT_EQ(layOut(kTypical, 624, 171, 2), layOut(kTypical, 624, 171));
}

TEST(MainWindowLayout, TooSmallAWindowLetsRowsOverlapTheButtons) {
  const auto placed = layOut(kTypical, 300, 60);
  EXPECT_LT(placed[kInstallButton].top, placed[kScriptField].top);
  EXPECT_EQ(placed[kPaletteField].width, 245);
}

TEST(RoundToPixel, HalvesAwayFromZeroAndRefusesWhatDoesNotFit) {
  struct Case {
    double given;
    std::int32_t expected;
  };
  const Case cases[] = {{2.5, 3},
                        {-2.5, -3},
                        {2.4999, 2},
                        {-0.4, 0},
                        {0.5, 1},
                        {1e-9, 0},
                        {2147483647.4, 2147483647},
                        {-2147483648.0, -2147483647 - 1}};
  for (const Case& c : cases) EXPECT_EQ(roundToPixel(c.given), c.expected) << c.given;
  const std::pair<double, std::string> bad[] = {
      {2147483647.5, "2147483648"}, {-2147483648.6, "-2147483649"}, {std::nan(""), "nan"},
      {-INFINITY, "-inf"},          {1e300, "1.000e+300"},          {-1.5e21, "-1.500e+21"}};
  for (const auto& [given, shown] : bad) {
    try {
      roundToPixel(given);
      ADD_FAILURE() << given;
    } catch (const ValueError& e) {
      EXPECT_EQ(e.message(), "value out of range: " + shown);
    }
  }
}

}  // namespace
}  // namespace setup

namespace setup {
namespace {

TEST(CentredOrigin, CentresAndKeepsOnTheScreen) {
  struct Case {
    std::int32_t width, height, left, top, areaWidth, areaHeight;
    CentredOrigin expected;
  };
  const Case cases[] = {
      {680, 250, 0, 0, 1024, 768, {172, 259}},
      {681, 251, 0, 0, 1024, 768, {171, 258}},      // truncates toward zero
      {1100, 800, 0, 0, 1024, 768, {0, 0}},         // negative centre becomes 0
      {680, 250, 500, 600, 1024, 768, {344, 518}},  // past the edge: moved back inside
      {680, 250, -300, 0, 300, 768, {0, 259}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(centredOrigin(c.width, c.height, c.left, c.top, c.areaWidth, c.areaHeight, 1024, 768),
              c.expected)
        << c.width << "x" << c.height << " in " << c.left << "," << c.top;
  }
}

}  // namespace
}  // namespace setup
