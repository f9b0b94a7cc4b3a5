#include "ui/window_layout.h"

#include <algorithm>
#include <cmath>
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
  // Sizes are summed as integers before they become constants.
  const std::array<std::array<Constraint, 4>, kMainWindowControls> relations = {{
      {sum({L1.left}) == constant(0),  // 1
       sum({L1.width}) == constant(L1.bw), sum({P.top}, (CB.bh - L1.bh) * 0.5) == sum({L1.top}),
       sum({L1.height}) == constant(L1.bh)},
      {sum({L1.width}, 10) == sum({CB.left}),  // 5
       sum({CB.width}) == constant(CB.bw + 10), sum({CB.top}) == sum({P.top}),
       sum({CB.height}) == constant(CB.bh)},
      {sum({G.left}) == constant(0),  // 9
       sum({G.width}) == constant(G.bw), sum({CB.top, CB.height}, 10) == sum({G.top}),
       sum({G.height}) == constant(G.bh)},
      {sum({LP.left}) == constant(0),  // 13
       sum({LP.left, LP.width}) == constant(LP.bw + 10),
       sum({G.top, G.height}, 10) == sum({LP.top}), sum({LP.height}) == constant(LP.bh)},
      {sum({TP.left}) == sum({LP.width}),  // 17
       sum({TP.left, TP.width}) == sum({P.width}), sum({G.top, G.height}, 10) == sum({TP.top}),
       sum({TP.height}) == constant(TP.bh)},
      {sum({LS.left}) == constant(0),  // 21
       sum({LS.left, LS.width}) == constant(LP.bw + 10),
       sum({TP.top, TP.height}, 10) == sum({LS.top}), sum({LS.height}) == constant(LS.bh)},
      {sum({TS.left}) == sum({LP.width}),  // 25
       sum({TS.left, TS.width}) == sum({P.width}), sum({TP.top, TP.height}, 10) == sum({TS.top}),
       sum({TS.height}) == constant(TS.bh)},
      {sum({BI.left}) == constant(0),  // 29
       sum({BI.width}) == constant(BI.bw + 32), sum({BI.height}) == constant(BI.bh + 32),
       sum({P.top, P.height, Term(BI.height, -1.0)}) == sum({BI.top})},
      {sum({BC.width}) == constant(BI.bw + 32),  // 33
       sum({BC.left, BC.width}) == sum({P.width}), sum({BC.height}) == constant(BI.bh + 32),
       sum({P.top, P.height, Term(BC.height, -1.0)}) == sum({BC.top})},
  }};
  for (std::size_t i = 0; i < kMainWindowControls; ++i) {
    registerWindow(solver, c[i]);
    for (const Constraint& relation : relations[i]) solver.addConstraint(relation);
  }
}

std::vector<LayoutRect> solveLayout(layout::Solver& solver, const LayoutWindow& panel,
                                    std::int32_t innerWidth, std::int32_t innerHeight,
                                    std::span<const LayoutWindow> windows,
                                    std::span<const LayoutRect> present) {
  solver.suggestValue(panel.left, 0);
  solver.suggestValue(panel.top, 0);
  solver.suggestValue(panel.width, innerWidth);
  solver.suggestValue(panel.height, innerHeight);
  for (std::size_t i = 0; i < windows.size(); ++i) {
    solver.suggestValue(windows[i].left, present[i].left);
    solver.suggestValue(windows[i].top, present[i].top);
    solver.suggestValue(windows[i].width, present[i].width);
    solver.suggestValue(windows[i].height, present[i].height);
  }
  solver.refreshVariables();
  std::vector<LayoutRect> placed;
  placed.reserve(windows.size());
  for (const LayoutWindow& w : windows) {
    placed.push_back({roundToPixel(w.left.value()), roundToPixel(w.top.value()),
                      roundToPixel(w.width.value()), roundToPixel(w.height.value())});
  }
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
