#include "ui/window_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "runtime/errors.h"

namespace setup {
namespace {

struct Preferred {
  std::int32_t bw, bh;
};

// The nine controls' preferred sizes, in control order.
using Sizes = std::array<Preferred, kMainWindowControls>;

std::vector<LayoutRect> layOut(const Sizes& sizes, std::int32_t innerWidth,
                               std::int32_t innerHeight, int solves = 1) {
  layout::Solver solver;
  LayoutWindow panel;
  MainWindowControls controls;
  for (std::size_t i = 0; i < kMainWindowControls; ++i) {
    controls[i].preferred = [s = sizes[i]] { return LayoutSize{s.bw, s.bh}; };
  }
  buildMainWindowRelations(solver, panel, controls);
  std::vector<LayoutRect> present(kMainWindowControls);
  std::vector<LayoutRect> placed;
  for (int i = 0; i < solves; ++i) {
    placed = solveLayout(solver, panel, innerWidth, innerHeight, controls, present);
    present = placed;
  }
  return placed;
}

// Typical sizes: label 17 high, combo 23, fields 21, buttons 80 x 24.
const Sizes kTypical = {
    {{163, 17}, {52, 23}, {262, 17}, {45, 17}, {120, 21}, {37, 17}, {120, 21}, {80, 24}, {84, 24}}};

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

TEST(MainWindowLayout, HalfPixelOfCentringGoesAwayFromZero) {
  Sizes sizes = kTypical;
  sizes[kLibraryCombo].bh = 22;
  EXPECT_EQ(layOut(sizes, 624, 171)[kLibraryLabel].top, 3);  // 2.5
  sizes[kLibraryCombo].bh = 12;
  EXPECT_EQ(layOut(sizes, 624, 171)[kLibraryLabel].top, -3);  // -2.5
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
