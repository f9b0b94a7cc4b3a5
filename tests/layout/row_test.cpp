// The row operations on their own: near-zero removal, insertion of a
// row, sign reversal, solving for a symbol, substitution; and the count of negative
// non-Dummy cells that lets the entering rule stop at once.
#include "layout/row.h"

#include <gtest/gtest.h>

#include <map>

namespace setup::layout {
namespace {

const Symbol x(SymbolKind::External, 1), s(SymbolKind::Slack, 2), e(SymbolKind::Error, 3),
    d(SymbolKind::Dummy, 4);

std::map<std::uint32_t, double> cellsOf(const Row& row) {
  std::map<std::uint32_t, double> m;
  for (auto [k, c] : row.cells()) m[k.bits()] = c;
  return m;
}

Row makeRow(double constant, std::initializer_list<std::pair<Symbol, double>> cells) {
  Row row(constant);
  for (auto [k, c] : cells) row.insertSymbol(k, c);
  return row;
}

TEST(Row, InsertSymbolAddsAndDropsNearZero) {
  struct Case {
    const char* what;
    double first, second;
    bool present;
    double expected;
  };
  const Case cases[] = {
      {"sum", 2.0, 3.0, true, 5.0},
      {"cancels exactly", 2.0, -2.0, false, 0.0},
      {"cancels to below 1e-8", 1.0, -1.0 + 5e-9, false, 0.0},
      {"just above 1e-8 stays", 1.0, -1.0 + 2e-8, true, 1.0 + (-1.0 + 2e-8)},
      {"a near-zero first insertion gives no cell", 1e-9, 0.0, false, 0.0},
  };
  for (const Case& c : cases) {
    Row row;
    row.insertSymbol(s, c.first);
    row.insertSymbol(s, c.second);
    EXPECT_EQ(row.cells().contains(s), c.present) << c.what;
    EXPECT_EQ(row.coefficientFor(s), c.expected) << c.what;
  }
}

TEST(Row, InsertRowScalesConstantAndCells) {
  Row row = makeRow(1.0, {{x, 1.0}, {s, 2.0}});
  const Row other = makeRow(3.0, {{s, -1.0}, {e, 4.0}});
  row.insertRow(other, 2.0);
  EXPECT_EQ(row.constant(), 7.0);
  EXPECT_EQ(cellsOf(row), (std::map<std::uint32_t, double>{{x.bits(), 1.0}, {e.bits(), 8.0}}));
}

TEST(Row, ReverseSignNegatesEverything) {
  Row row = makeRow(2.0, {{x, 1.0}, {d, -3.0}});
  row.reverseSign();
  EXPECT_EQ(row.constant(), -2.0);
  EXPECT_EQ(cellsOf(row), (std::map<std::uint32_t, double>{{x.bits(), -1.0}, {d.bits(), 3.0}}));
}

// 0 = 6 + 2x - 4s  solved for x: x = -3 + 2s.
TEST(Row, SolveForMakesTheSymbolTheSubject) {
  Row row = makeRow(6.0, {{x, 2.0}, {s, -4.0}});
  row.solveFor(x);
  EXPECT_EQ(row.constant(), -3.0);
  EXPECT_EQ(cellsOf(row), (std::map<std::uint32_t, double>{{s.bits(), 2.0}}));
}

// e = 5 + 2s  solved for (e, s): s = -2.5 + 0.5e.
TEST(Row, SolveForLhsRhsSwapsTheBasicSymbol) {
  Row row = makeRow(5.0, {{s, 2.0}});
  row.solveFor(e, s);
  EXPECT_EQ(row.constant(), -2.5);
  EXPECT_EQ(cellsOf(row), (std::map<std::uint32_t, double>{{e.bits(), 0.5}}));
}

TEST(Row, SubstituteReplacesOnlyAPresentSymbol) {
  const Row sRow = makeRow(1.0, {{e, 2.0}});  // s = 1 + 2e
  Row with = makeRow(0.0, {{x, 1.0}, {s, 3.0}});
  with.substitute(s, sRow);
  EXPECT_EQ(with.constant(), 3.0);
  EXPECT_EQ(cellsOf(with), (std::map<std::uint32_t, double>{{x.bits(), 1.0}, {e.bits(), 6.0}}));
  Row without = makeRow(4.0, {{x, 1.0}});
  without.substitute(s, sRow);
  EXPECT_EQ(without.constant(), 4.0);
  EXPECT_EQ(cellsOf(without), (std::map<std::uint32_t, double>{{x.bits(), 1.0}}));
}

TEST(Row, CountsNegativeCellsThatAreNotDummies) {
  Row row = makeRow(0.0, {{x, -1.0}, {s, -2.0}, {d, -3.0}, {e, 4.0}});
  EXPECT_EQ(row.negativeCount(), 2u);
  row.insertSymbol(s, 2.0);  // cancels: removed
  EXPECT_EQ(row.negativeCount(), 1u);
  row.insertSymbol(e, -5.0);  // turns negative
  EXPECT_EQ(row.negativeCount(), 2u);
  row.reverseSign();
  EXPECT_EQ(row.negativeCount(), 0u);
  row.solveFor(e);  // e is +1 now: k = -1 turns x negative, and d (not counted)
  EXPECT_EQ(row.negativeCount(), 1u);
}

// The engine's choices take the first match newest symbol first, whatever the slots.
TEST(Row, FirstCellGoesNewestSymbolFirst) {
  Row row;
  for (std::uint32_t id : {7u, 30u, 2u, 19u, 11u})
    row.insertSymbol(Symbol(SymbolKind::Error, id), id % 2 ? -1.0 : 1.0);
  const auto negative = [](Symbol, double c) { return c < 0.0; };
  EXPECT_EQ(row.firstCell(negative), Symbol(SymbolKind::Error, 19));
  EXPECT_EQ(row.firstCell([](Symbol, double) { return true; }), Symbol(SymbolKind::Error, 30));
  EXPECT_FALSE(row.firstCell([](Symbol, double c) { return c > 5.0; }).valid());
}

TEST(Row, WithoutDummiesDropsThemNowAndLater) {
  const Row source = makeRow(3.0, {{x, 1.0}, {d, 2.0}, {e, -1.0}});
  Row row = Row::withoutDummies(source);
  EXPECT_EQ(row.constant(), 3.0);
  EXPECT_EQ(cellsOf(row), (std::map<std::uint32_t, double>{{x.bits(), 1.0}, {e.bits(), -1.0}}));
  row.insertSymbol(d, 5.0);
  row.insertRow(makeRow(1.0, {{d, 1.0}, {s, 2.0}}), 2.0);
  EXPECT_EQ(row.constant(), 5.0);
  EXPECT_EQ(cellsOf(row),
            (std::map<std::uint32_t, double>{{x.bits(), 1.0}, {s.bits(), 4.0}, {e.bits(), -1.0}}));
  EXPECT_EQ(row.negativeCount(), 1u);
}

TEST(Row, CopyKeepsTheSlots) {
  Row row;
  for (std::uint32_t id = 1; id <= 30; ++id) row.insertSymbol(Symbol(SymbolKind::Error, id), id);
  const Row copy = row;
  auto a = row.cells().begin();
  for (auto [k, c] : copy.cells()) {
    EXPECT_EQ((*a).key, k);
    ++a;
  }
}

}  // namespace
}  // namespace setup::layout
