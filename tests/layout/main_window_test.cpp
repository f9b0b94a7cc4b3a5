// The relation set of the main window (36 required equalities) solved as a
// pure computation: given preferred sizes and the panel's inner size, the solver
// places the nine controls where the window's layout puts them, through the building
// and placing steps (edit variables, registration, relations in table order, suggestions,
// refresh, nearest integer with halves away from zero).
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "layout/solver.h"

namespace setup::layout {
namespace {

struct Window {
  Variable left, top, width, height;
};

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

enum Control { L1, CB, G, LP, TP, LS, TS, BI, BC, kControls };
const char* const kNames[] = {"L1", "CB", "G", "LP", "TP", "LS", "TS", "BI", "BC"};

class MainWindowLayout {
 public:
  explicit MainWindowLayout(const Sizes& z) {
    // Building: edit variables, then each control's registration and relations.
    for (const Variable* v : {&P.left, &P.top, &P.width, &P.height})
      solver_.addEditVariable(*v, kContainerEditStrength);
    const auto E = [](const Variable& v) { return Expression(v); };
    const auto k = [](double c) { return Expression(std::vector<Term>{}, c); };
    Window& l1 = w_[L1];
    Window& cb = w_[CB];
    Window& g = w_[G];
    Window& lp = w_[LP];
    Window& tp = w_[TP];
    Window& ls = w_[LS];
    Window& ts = w_[TS];
    Window& bi = w_[BI];
    Window& bc = w_[BC];
    const std::array<std::array<Constraint, 4>, kControls> relations = {{
        {l1.left == 0.0, E(l1.width) == k(z.L1.bw),                         // 1, 2
         E(P.top) + (z.CB.bh - z.L1.bh) * 0.5 == E(l1.top),                 // 3
         E(l1.height) == k(z.L1.bh)},                                       // 4
        {E(l1.width) + 10.0 == E(cb.left), E(cb.width) == k(z.CB.bw + 10),  // 5, 6
         E(cb.top) == E(P.top), E(cb.height) == k(z.CB.bh)},                // 7, 8
        {g.left == 0.0, E(g.width) == k(z.G.bw),                            // 9, 10
         E(cb.top) + Term(cb.height) + 10.0 == E(g.top), E(g.height) == k(z.G.bh)},
        {lp.left == 0.0, E(lp.left) + Term(lp.width) == k(z.LP.bw + 10),  // 13, 14
         E(g.top) + Term(g.height) + 10.0 == E(lp.top), E(lp.height) == k(z.LP.bh)},
        {E(tp.left) == E(lp.width), E(tp.left) + Term(tp.width) == E(P.width),  // 17, 18
         E(g.top) + Term(g.height) + 10.0 == E(tp.top), E(tp.height) == k(z.TP.bh)},
        {ls.left == 0.0, E(ls.left) + Term(ls.width) == k(z.LP.bw + 10),  // 21, 22
         E(tp.top) + Term(tp.height) + 10.0 == E(ls.top), E(ls.height) == k(z.LS.bh)},
        {E(ts.left) == E(lp.width), E(ts.left) + Term(ts.width) == E(P.width),  // 25, 26
         E(tp.top) + Term(tp.height) + 10.0 == E(ts.top), E(ts.height) == k(z.TS.bh)},
        {bi.left == 0.0, E(bi.width) == k(z.BI.bw + 32),                    // 29, 30
         E(bi.height) == k(z.BI.bh + 32),                                   // 31
         E(P.top) + Term(P.height) + -Expression(bi.height) == E(bi.top)},  // 32
        {E(bc.width) == k(z.BI.bw + 32),                                    // 33
         E(bc.left) + Term(bc.width) == E(P.width),                         // 34
         E(bc.height) == k(z.BI.bh + 32),                                   // 35
         E(P.top) + Term(P.height) + -Expression(bc.height) == E(bc.top)},  // 36
    }};
    for (int c = 0; c < kControls; ++c) {
      registerWindow(w_[c]);
      for (const Constraint& r : relations[static_cast<std::size_t>(c)]) solver_.addConstraint(r);
    }
  }

  // Placing: suggest the panel's inner size and every window's present rectangle
  // (visited in a shuffled order: the set's order has no effect), refresh, round.
  std::array<Rect, kControls> place(int innerWidth, int innerHeight,
                                    const std::array<Rect, kControls>& present,
                                    std::uint64_t visitSeed) {
    solver_.suggestValue(P.left, 0);
    solver_.suggestValue(P.top, 0);
    solver_.suggestValue(P.width, innerWidth);
    solver_.suggestValue(P.height, innerHeight);
    std::array<int, kControls> order;
    for (int c = 0; c < kControls; ++c) order[static_cast<std::size_t>(c)] = c;
    std::shuffle(order.begin(), order.end(), std::mt19937_64(visitSeed));
    for (int c : order) {
      const Rect& r = present[static_cast<std::size_t>(c)];
      const Window& w = w_[c];
      solver_.suggestValue(w.left, static_cast<double>(r.left));
      solver_.suggestValue(w.top, static_cast<double>(r.top));
      solver_.suggestValue(w.width, static_cast<double>(r.width));
      solver_.suggestValue(w.height, static_cast<double>(r.height));
    }
    solver_.refreshVariables();
    std::array<Rect, kControls> placed;
    for (int c = 0; c < kControls; ++c) {
      const Window& w = w_[c];
      placed[static_cast<std::size_t>(c)] = {
          std::lround(w.left.value()), std::lround(w.top.value()), std::lround(w.width.value()),
          std::lround(w.height.value())};
    }
    return placed;
  }

  const Window& window(int c) const { return w_[c]; }

 private:
  void registerWindow(const Window& w) {
    const double strengths[] = {kChildPositionStrength, kChildPositionStrength, kChildSizeStrength,
                                kChildSizeStrength};
    const Variable* vars[] = {&w.left, &w.top, &w.width, &w.height};
    for (int i = 0; i < 4; ++i)
      if (!solver_.isEditVariable(*vars[i])) solver_.addEditVariable(*vars[i], strengths[i]);
  }

  SolverOptions checkedOptions() {
    SolverOptions o;
    o.checkInvariants = true;
    return o;
  }

  Solver solver_{checkedOptions()};
  Window P;
  Window w_[kControls];
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
TEST(MainWindowLayout, EdgeCasesOfThePart) {
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
}  // namespace setup::layout
