#include "ui/window_layout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include "runtime/errors.h"

namespace setup {
namespace {

using layout::Constraint;
using layout::Expression;
using layout::Term;

// A rounded value that is no 32-bit integer, for the error message. Written
// without the printf family, which would bring 22 KB into setup.exe for it.
std::string describeRounded(double rounded) {
  if (std::isnan(rounded)) return "nan";
  if (std::isinf(rounded)) return rounded > 0 ? "inf" : "-inf";
  if (std::fabs(rounded) < 1e18) return std::to_string(static_cast<long long>(rounded));
  // Four significant digits and the exponent: 1.234e+21.
  double mantissa = std::fabs(rounded);
  int exponent = 0;
  while (mantissa >= 10.0) {
    mantissa /= 10.0;
    ++exponent;
  }
  std::string digits = std::to_string(std::llround(mantissa * 1000.0));
  if (digits.size() > 4) {  // 9.9996 rounds up to 10.000
    digits.pop_back();
    ++exponent;
  }
  return std::string(rounded < 0 ? "-" : "") + digits.substr(0, 1) + "." + digits.substr(1) + "e+" +
         std::to_string(exponent);
}

Expression sum(std::initializer_list<Term> terms, double constant = 0.0) {
  return Expression(std::vector<Term>(terms), constant);
}
Expression constant(double value) {
  return Expression(std::vector<Term>{}, value);
}

void registerWindow(layout::Solver& solver, const LayoutWindow& w) {
  const std::pair<const layout::Variable*, double> variables[] = {
      {&w.left, layout::kChildPositionStrength},
      {&w.top, layout::kChildPositionStrength},
      {&w.width, layout::kChildSizeStrength},
      {&w.height, layout::kChildSizeStrength}};
  for (const auto& [variable, strength] : variables) {
    if (!solver.isEditVariable(*variable)) solver.addEditVariable(*variable, strength);
  }
}

}  // namespace

void buildMainWindowRelations(layout::Solver& solver, const LayoutWindow& P,
                              const MainWindowControls& c) {
  for (const layout::Variable* v : {&P.left, &P.top, &P.width, &P.height}) {
    solver.addEditVariable(*v, layout::kContainerEditStrength);
  }
  const LayoutWindow& L1 = c[kLibraryLabel];
  const LayoutWindow& CB = c[kLibraryCombo];
  const LayoutWindow& G = c[kHeadingLabel];
  const LayoutWindow& LP = c[kPaletteLabel];
  const LayoutWindow& TP = c[kPaletteField];
  const LayoutWindow& LS = c[kScriptLabel];
  const LayoutWindow& TS = c[kScriptField];
  const LayoutWindow& BI = c[kInstallButton];
  const LayoutWindow& BC = c[kCancelButton];
  // A size is read when the relation that uses it is built; sizes are summed
  // as integers before they become constants.
  const auto bw = [](const LayoutWindow& w) { return w.preferred().bw; };
  const auto bh = [](const LayoutWindow& w) { return w.preferred().bh; };
  using Relation = std::function<Constraint()>;
  const std::array<std::array<Relation, 4>, kMainWindowControls> relations = {{
      {[&] { return sum({L1.left}) == constant(0); },  // 1
       [&] { return sum({L1.width}) == constant(bw(L1)); },
       [&] {
         const std::int32_t combo = bh(CB);
         return sum({P.top}, (combo - bh(L1)) * 0.5) == sum({L1.top});
       },
       [&] { return sum({L1.height}) == constant(bh(L1)); }},
      {[&] { return sum({L1.width}, 10) == sum({CB.left}); },  // 5
       [&] { return sum({CB.width}) == constant(bw(CB) + 10); },
       [&] { return sum({CB.top}) == sum({P.top}); },
       [&] { return sum({CB.height}) == constant(bh(CB)); }},
      {[&] { return sum({G.left}) == constant(0); },  // 9
       [&] { return sum({G.width}) == constant(bw(G)); },
       [&] {
         return sum({CB.top, CB.height}, 10) == sum({G.top});
       },
       [&] { return sum({G.height}) == constant(bh(G)); }},
      {[&] { return sum({LP.left}) == constant(0); },  // 13
       [&] {
         return sum({LP.left, LP.width}) == constant(bw(LP) + 10);
       },
       [&] {
         return sum({G.top, G.height}, 10) == sum({LP.top});
       },
       [&] { return sum({LP.height}) == constant(bh(LP)); }},
      {[&] { return sum({TP.left}) == sum({LP.width}); },  // 17
       [&] {
         return sum({TP.left, TP.width}) == sum({P.width});
       },
       [&] {
         return sum({G.top, G.height}, 10) == sum({TP.top});
       },
       [&] { return sum({TP.height}) == constant(bh(TP)); }},
      {[&] { return sum({LS.left}) == constant(0); },  // 21
       [&] {
         return sum({LS.left, LS.width}) == constant(bw(LP) + 10);
       },
       [&] {
         return sum({TP.top, TP.height}, 10) == sum({LS.top});
       },
       [&] { return sum({LS.height}) == constant(bh(LS)); }},
      {[&] { return sum({TS.left}) == sum({LP.width}); },  // 25
       [&] {
         return sum({TS.left, TS.width}) == sum({P.width});
       },
       [&] {
         return sum({TP.top, TP.height}, 10) == sum({TS.top});
       },
       [&] { return sum({TS.height}) == constant(bh(TS)); }},
      {[&] { return sum({BI.left}) == constant(0); },  // 29
       [&] { return sum({BI.width}) == constant(bw(BI) + 32); },
       [&] { return sum({BI.height}) == constant(bh(BI) + 32); },
       [&] {
         return sum({P.top, P.height, Term(BI.height, -1.0)}) == sum({BI.top});
       }},
      {[&] { return sum({BC.width}) == constant(bw(BI) + 32); },  // 33
       [&] {
         return sum({BC.left, BC.width}) == sum({P.width});
       },
       [&] { return sum({BC.height}) == constant(bh(BI) + 32); },
       [&] {
         return sum({P.top, P.height, Term(BC.height, -1.0)}) == sum({BC.top});
       }},
  }};
  for (std::size_t i = 0; i < kMainWindowControls; ++i) {
    registerWindow(solver, c[i]);
    for (const Relation& relation : relations[i]) solver.addConstraint(relation());
  }
}

void suggestPanel(layout::Solver& solver, const LayoutWindow& panel, std::int32_t innerWidth,
                  std::int32_t innerHeight) {
  solver.suggestValue(panel.left, 0);
  solver.suggestValue(panel.top, 0);
  solver.suggestValue(panel.width, innerWidth);
  solver.suggestValue(panel.height, innerHeight);
}

void suggestPresent(layout::Solver& solver, const LayoutWindow& window, const LayoutRect& present) {
  solver.suggestValue(window.left, present.left);
  solver.suggestValue(window.top, present.top);
  solver.suggestValue(window.width, present.width);
  solver.suggestValue(window.height, present.height);
}

LayoutRect solvedRect(const LayoutWindow& w) {
  return {roundToPixel(w.left.value()), roundToPixel(w.top.value()), roundToPixel(w.width.value()),
          roundToPixel(w.height.value())};
}

std::vector<LayoutRect> solveLayout(layout::Solver& solver, const LayoutWindow& panel,
                                    std::int32_t innerWidth, std::int32_t innerHeight,
                                    std::span<const LayoutWindow> windows,
                                    std::span<const LayoutRect> present) {
  suggestPanel(solver, panel, innerWidth, innerHeight);
  for (std::size_t i = 0; i < windows.size(); ++i) suggestPresent(solver, windows[i], present[i]);
  solver.refreshVariables();
  std::vector<LayoutRect> placed;
  placed.reserve(windows.size());
  for (const LayoutWindow& w : windows) placed.push_back(solvedRect(w));
  return placed;
}

std::int32_t roundToPixel(double value) {
  const double rounded = std::round(value);  // halves away from zero
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    throw ValueError("value out of range: " + describeRounded(rounded), "roundToPixel");
  }
  return static_cast<std::int32_t>(rounded);
}

}  // namespace setup

namespace setup {

CentredOrigin centredOrigin(std::int32_t width, std::int32_t height, std::int32_t areaLeft,
                            std::int32_t areaTop, std::int32_t areaWidth, std::int32_t areaHeight,
                            std::int32_t screenWidth, std::int32_t screenHeight) {
  std::int32_t x = areaLeft + (areaWidth - width) / 2;
  std::int32_t y = areaTop + (areaHeight - height) / 2;
  x = x < 0 ? 0 : std::min(x, screenWidth - width);
  y = y < 0 ? 0 : std::min(y, screenHeight - height);
  return {x, y};
}

}  // namespace setup
