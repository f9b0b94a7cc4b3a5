// The relation set of the main window (36 required equalities) solved as a
// pure computation: given preferred sizes and the panel's inner size, the solver
// places the nine controls where the window's layout puts them, through the
// program's own building and placing steps (buildMainWindowRelations, solveLayout)
// on a solver that checks its bookkeeping after every operation.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "ui/window_layout.h"

namespace setup {
namespace {

using layout::Solver;
using layout::SolverOptions;

struct Size {
  int bw, bh;
};

// Preferred sizes of the nine controls (bestSize).
struct Sizes {
  Size L1, CB, G, LP, TP, LS, TS, BI, BC;
};

struct Rect {
  long left, top, width, height;
  friend bool operator==(const Rect&, const Rect&) = default;
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
  return out << "(" << r.left << ", " << r.top << ", " << r.width << ", " << r.height << ")";
}

// The same order as MainWindowControl.
enum Control { L1, CB, G, LP, TP, LS, TS, BI, BC, kControls };
static_assert(static_cast<std::size_t>(kControls) == kMainWindowControls);
const char* const kNames[] = {"L1", "CB", "G", "LP", "TP", "LS", "TS", "BI", "BC"};

class MainWindowLayout {
 public:
  explicit MainWindowLayout(const Sizes& z) {
    const Size sizes[] = {z.L1, z.CB, z.G, z.LP, z.TP, z.LS, z.TS, z.BI, z.BC};
    for (std::size_t c = 0; c < kMainWindowControls; ++c) {
      w_[c].preferred = [s = sizes[c]] { return LayoutSize{s.bw, s.bh}; };
    }
    buildMainWindowRelations(solver_, P, w_);
  }

  // Placing: suggest the panel's inner size and every window's present rectangle
  // (visited in a shuffled order: the set's order has no effect), refresh, round.
  std::array<Rect, kControls> place(int innerWidth, int innerHeight,
                                    const std::array<Rect, kControls>& present,
                                    std::uint64_t visitSeed) {
    std::array<std::size_t, kControls> order;
    for (std::size_t c = 0; c < kControls; ++c) order[c] = c;
    std::shuffle(order.begin(), order.end(), std::mt19937_64(visitSeed));
    std::vector<LayoutWindow> windows;
    std::vector<LayoutRect> rects;
    for (std::size_t c : order) {
      windows.push_back(w_[c]);
      const Rect& r = present[c];
      rects.push_back({static_cast<std::int32_t>(r.left), static_cast<std::int32_t>(r.top),
                       static_cast<std::int32_t>(r.width), static_cast<std::int32_t>(r.height)});
    }
    const std::vector<LayoutRect> solved =
        solveLayout(solver_, P, innerWidth, innerHeight, windows, rects);
    std::array<Rect, kControls> placed;
    for (std::size_t i = 0; i < kControls; ++i) {
      const LayoutRect& r = solved[i];
      placed[order[i]] = {r.left, r.top, r.width, r.height};
    }
    return placed;
  }

  const LayoutWindow& window(int c) const { return w_[static_cast<std::size_t>(c)]; }

 private:
  static SolverOptions checkedOptions() {
    SolverOptions o;
    o.checkInvariants = true;
    return o;
  }

  Solver solver_{checkedOptions()};
  LayoutWindow P;
  MainWindowControls w_;
};

// Where the layout puts each control, with halves of (CB.bh - L1.bh) / 2 away from zero.
std::array<Rect, kControls> resultTable(const Sizes& z, int W, int H) {
  const long half = std::lround((z.CB.bh - z.L1.bh) / 2.0);
  const long rowLP = z.CB.bh + z.G.bh + 20;
  const long rowLS = z.CB.bh + z.G.bh + z.TP.bh + 30;
  const long button = H - z.BI.bh - 32;
  return {{
      {0, half, z.L1.bw, z.L1.bh},
      {z.L1.bw + 10, 0, z.CB.bw + 10, z.CB.bh},
      {0, z.CB.bh + 10, z.G.bw, z.G.bh},
      {0, rowLP, z.LP.bw + 10, z.LP.bh},
      {z.LP.bw + 10, rowLP, W - z.LP.bw - 10, z.TP.bh},
      {0, rowLS, z.LP.bw + 10, z.LS.bh},
      {z.LP.bw + 10, rowLS, W - z.LP.bw - 10, z.TS.bh},
      {0, button, z.BI.bw + 32, z.BI.bh + 32},
      {W - z.BI.bw - 32, button, z.BI.bw + 32, z.BI.bh + 32},
  }};
}

struct Case {
  const char* what;
  Sizes sizes;
  int clientWidth, clientHeight;  // the panel's client size; inner = client - 40
};

// Sizes as the controls would report them for Segoe UI 9 (the first case) and variations.
const Case kCases[] = {
    {"typical",
     {{79, 17}, {150, 23}, {260, 17}, {45, 17}, {100, 23}, {38, 17}, {100, 23}, {80, 24}, {86, 24}},
     664,
     211},
    {"odd half goes away from zero",
     {{79, 17}, {150, 22}, {260, 17}, {45, 17}, {100, 23}, {38, 17}, {100, 23}, {80, 24}, {86, 24}},
     664,
     211},
    {"label taller than the combo: negative half",
     {{60, 26}, {120, 21}, {200, 15}, {52, 15}, {90, 21}, {40, 15}, {90, 21}, {75, 23}, {75, 23}},
     700,
     260},
    {"too small: rows overlap the buttons",
     {{79, 17}, {150, 23}, {260, 17}, {45, 17}, {100, 23}, {38, 17}, {100, 23}, {80, 24}, {86, 24}},
     200,
     90},
};

TEST(MainWindowLayout, SolvesToTheResultTable) {
  for (const Case& c : kCases) {
    MainWindowLayout layout(c.sizes);
    const int W = c.clientWidth - 40, H = c.clientHeight - 40;
    // Controls come into being at positions of their own; they do not matter.
    std::array<Rect, kControls> present;
    for (int i = 0; i < kControls; ++i)
      present[static_cast<std::size_t>(i)] = {7 * i - 3, 200 - i, 3 + i, 1};
    const auto placed = layout.place(W, H, present, 1);
    const auto expected = resultTable(c.sizes, W, H);
    for (int i = 0; i < kControls; ++i)
      EXPECT_EQ(placed[static_cast<std::size_t>(i)], expected[static_cast<std::size_t>(i)])
          << c.what << ": " << kNames[i];

    // A second pass on the same relations with the placed geometry as present
    // rectangles gives the same geometry; a resized panel follows the table too.
    EXPECT_EQ(layout.place(W, H, placed, 2), expected) << c.what;
    const auto resized = layout.place(W + 123, H + 45, placed, 3);
    EXPECT_EQ(resized, resultTable(c.sizes, W + 123, H + 45)) << c.what;
  }
}

// The layout's edge cases, spelled out.
TEST(MainWindowLayout, EdgeCasesOfTheLayout) {
  Sizes z = kCases[0].sizes;
  {
    MainWindowLayout layout(z);  // CB 23 high, L1 17: top 3
    const auto placed = layout.place(624, 171, {}, 1);
    EXPECT_EQ(placed[L1].top, 3);
    EXPECT_EQ(layout.window(L1).top.value(), 3.0);
    // Palette label 45 wide: both fields at inner x 55 with width 569.
    EXPECT_EQ(placed[TP].left, 55);
    EXPECT_EQ(placed[TS].left, 55);
    EXPECT_EQ(placed[TP].width, 569);
    EXPECT_EQ(placed[TS].width, 569);
    // Install button 80 x 24: both buttons 112 x 56 at inner y 115.
    for (Control b : {BI, BC}) {
      EXPECT_EQ(placed[b].width, 112);
      EXPECT_EQ(placed[b].height, 56);
      EXPECT_EQ(placed[b].top, 115);
    }
    EXPECT_EQ(placed[BC].left, 624 - 112);
  }
  z.CB.bh = 22;  // 2.5 becomes 3
  MainWindowLayout layout(z);
  const auto placed = layout.place(624, 171, {}, 1);
  EXPECT_EQ(layout.window(L1).top.value(), 2.5);
  EXPECT_EQ(placed[L1].top, 3);
}

}  // namespace
}  // namespace setup
