#include "ui/window_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "runtime/errors.h"

namespace setup {
namespace {

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

// A constant of a relation: (plus - minus + add) x factor, where plus and
// minus are preferred sizes read as the relation is built, summed as integers
// before the result becomes a float.
struct SizeOf {
  const LayoutWindow* window = nullptr;
  bool height = false;
  std::int32_t read() const {
    if (window == nullptr) return 0;
    const LayoutSize size = window->preferred();
    return height ? size.bh : size.bw;
  }
};
struct SizeConstant {
  SizeOf plus;
  SizeOf minus;
  std::int32_t add = 0;
  double factor = 1.0;
  double value() const {
    const std::int32_t first = plus.read();
    return (first - minus.read() + add) * factor;
  }
};

// Up to three terms of one side of a relation.
struct TermOf {
  const layout::Variable* variable = nullptr;
  double coefficient = 1.0;
};
using Side = std::array<TermOf, 3>;

std::vector<Term> terms(const Side& side) {
  std::vector<Term> result;
  for (const TermOf& t : side) {
    if (t.variable != nullptr) result.emplace_back(*t.variable, t.coefficient);
  }
  return result;
}

// lhs terms + lhs constant = rhs terms + rhs constant.
struct Relation {
  Side lhs;
  SizeConstant lhsConstant;
  Side rhs;
  SizeConstant rhsConstant;
};

SizeOf bw(const LayoutWindow& w) {
  return {&w, false};
}
SizeOf bh(const LayoutWindow& w) {
  return {&w, true};
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
  const SizeConstant none;
  const auto plus = [](std::int32_t n) { return SizeConstant{{}, {}, n}; };
  const auto size = [](SizeOf s, std::int32_t n = 0) { return SizeConstant{s, {}, n}; };
  // Each relation: {lhs terms, lhs constant, rhs terms, rhs constant}; the
  // sizes in the constants are read when their relation is built.
  const std::array<std::array<Relation, 4>, kMainWindowControls> relations = {{
      {{{{{{&L1.left}}}, none, {}, none},  // 1
        {{{{&L1.width}}}, none, {}, size(bw(L1))},
        {{{{&P.top}}}, {bh(CB), bh(L1), 0, 0.5}, {{{&L1.top}}}, none},
        {{{{&L1.height}}}, none, {}, size(bh(L1))}}},
      {{{{{{&L1.width}}}, plus(10), {{{&CB.left}}}, none},  // 5
        {{{{&CB.width}}}, none, {}, size(bw(CB), 10)},
        {{{{&CB.top}}}, none, {{{&P.top}}}, none},
        {{{{&CB.height}}}, none, {}, size(bh(CB))}}},
      {{{{{{&G.left}}}, none, {}, none},  // 9
        {{{{&G.width}}}, none, {}, size(bw(G))},
        {{{{&CB.top}, {&CB.height}}}, plus(10), {{{&G.top}}}, none},
        {{{{&G.height}}}, none, {}, size(bh(G))}}},
      {{{{{{&LP.left}}}, none, {}, none},  // 13
        {{{{&LP.left}, {&LP.width}}}, none, {}, size(bw(LP), 10)},
        {{{{&G.top}, {&G.height}}}, plus(10), {{{&LP.top}}}, none},
        {{{{&LP.height}}}, none, {}, size(bh(LP))}}},
      {{{{{{&TP.left}}}, none, {{{&LP.width}}}, none},  // 17
        {{{{&TP.left}, {&TP.width}}}, none, {{{&P.width}}}, none},
        {{{{&G.top}, {&G.height}}}, plus(10), {{{&TP.top}}}, none},
        {{{{&TP.height}}}, none, {}, size(bh(TP))}}},
      {{{{{{&LS.left}}}, none, {}, none},  // 21
        {{{{&LS.left}, {&LS.width}}}, none, {}, size(bw(LP), 10)},
        {{{{&TP.top}, {&TP.height}}}, plus(10), {{{&LS.top}}}, none},
        {{{{&LS.height}}}, none, {}, size(bh(LS))}}},
      {{{{{{&TS.left}}}, none, {{{&LP.width}}}, none},  // 25
        {{{{&TS.left}, {&TS.width}}}, none, {{{&P.width}}}, none},
        {{{{&TP.top}, {&TP.height}}}, plus(10), {{{&TS.top}}}, none},
        {{{{&TS.height}}}, none, {}, size(bh(TS))}}},
      {{{{{{&BI.left}}}, none, {}, none},  // 29
        {{{{&BI.width}}}, none, {}, size(bw(BI), 32)},
        {{{{&BI.height}}}, none, {}, size(bh(BI), 32)},
        {{{{&P.top}, {&P.height}, {&BI.height, -1.0}}}, none, {{{&BI.top}}}, none}}},
      {{{{{{&BC.width}}}, none, {}, size(bw(BI), 32)},  // 33
        {{{{&BC.left}, {&BC.width}}}, none, {{{&P.width}}}, none},
        {{{{&BC.height}}}, none, {}, size(bh(BI), 32)},
        {{{{&P.top}, {&P.height}, {&BC.height, -1.0}}}, none, {{{&BC.top}}}, none}}},
  }};
  for (std::size_t i = 0; i < kMainWindowControls; ++i) {
    registerWindow(solver, c[i]);
    for (const Relation& r : relations[i]) {
      solver.addConstraint(Expression(terms(r.lhs), r.lhsConstant.value()) ==
                           Expression(terms(r.rhs), r.rhsConstant.value()));
    }
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
