// A row of the tableau: basic symbol = constant + sum(coefficient * symbol),
// or, for the objective and the artificial row, the quantity to be minimised.
//
// The engine walks a row's cells newest symbol first (highest id first): see firstCell.
// The cell table's own slot order decides nothing.
//
// The mutating operations take an observer that learns of every cell added to or
// removed from the row; the solver uses it to keep its column index current for the
// rows that are in the tableau. Rows outside the tableau pass NoCellObserver.
#pragma once

#include <cstddef>

#include "layout/symbol.h"
#include "layout/symbol_table.h"
#include "layout/tolerances.h"

namespace setup::layout {

struct NoCellObserver {
  void added(Symbol) const {}
  void removed(Symbol) const {}
};

class Row {
 public:
  using Cells = SymbolTable<double>;

  explicit Row(double constant = 0.0) : constant_(constant) {}

  // The artificial objective: row's constant and cells without its Dummy cells, and a
  // row that drops every Dummy cell it would get later too. Nothing reads them: a
  // Dummy never enters, and the artificial row decides only by its entering symbol
  // and its constant. In a layout nearly every cell that a pivot substitutes into it
  // is a Dummy (each relation is a required equality), so keeping them made the
  // artificial path cost a third more than solving for a variable.
  static Row withoutDummies(const Row& row) {
    Row copy(row.constant_);
    copy.keepsDummies_ = false;
    for (auto [s, c] : row.cells_) copy.addToCell(s, c, NoCellObserver{});
    return copy;
  }

  double constant() const { return constant_; }
  const Cells& cells() const { return cells_; }

  // The number of cells of a kind other than Dummy whose coefficient is below 0:
  // lets the primal entering rule see at once that an objective is at its minimum.
  std::size_t negativeCount() const { return negativeCount_; }

  // The first cell (s, c) in walk order, newest symbol first, for which matches(s, c)
  // holds; the invalid symbol when none does.
  //
  // Why newest first: a constraint being added brings the newest symbols, and a choice
  // among them stays local to it. An old symbol's column may run through much of the
  // tableau: in a column of windows each placed below the one before, entering the
  // container's error symbol (met first in hash order) made a top relation pivot down
  // the whole chain and back, degenerate pivots each rewriting long rows.
  template <class Matches>
  Symbol firstCell(Matches&& matches) const {
    Symbol first;
    for (auto [s, c] : cells_)
      if (s.id() > first.id() && matches(s, c)) first = s;
    return first;
  }

  double coefficientFor(Symbol s) const {
    const double* c = cells_.find(s);
    return c ? *c : 0.0;
  }

  void setConstant(double constant) { constant_ = constant; }

  // v = coefficient of s + c; a near-zero v removes the cell.
  template <class Observer = NoCellObserver>
  void insertSymbol(Symbol s, double c, Observer&& observer = {}) {
    addToCell(s, c, observer);
  }

  // constant += r.constant * c, then each cell (s, d) of r as insertSymbol(s, d * c). REQUIRES: r
  // is not this row.
  template <class Observer = NoCellObserver>
  void insertRow(const Row& r, double c, Observer&& observer = {}) {
    constant_ += r.constant_ * c;
    for (auto [s, d] : r.cells_) addToCell(s, d * c, observer);
  }

  void reverseSign() {
    constant_ = -constant_;
    for (auto [s, c] : cells_) c = -c;
    recountNegatives();
  }

  // Makes the row give s in terms of the others: k = -1 / coefficient of s, the cell
  // of s goes, and the constant and every remaining cell are multiplied by k.
  // REQUIRES: the row has a cell for s.
  template <class Observer = NoCellObserver>
  void solveFor(Symbol s, Observer&& observer = {}) {
    const std::size_t slot = cells_.findSlot(s);
    const double k = -1.0 / cells_.valueAt(slot);
    eraseCell(slot, observer);
    constant_ *= k;
    for (auto [symbol, c] : cells_) c *= k;
    recountNegatives();
  }

  // lhs, the row's present basic symbol, becomes a cell, and rhs the subject.
  template <class Observer = NoCellObserver>
  void solveFor(Symbol lhs, Symbol rhs, Observer&& observer = {}) {
    insertSymbol(lhs, -1.0, observer);
    solveFor(rhs, observer);
  }

  // Replaces s, when the row has a cell for it, by the row r of s.
  template <class Observer = NoCellObserver>
  void substitute(Symbol s, const Row& r, Observer&& observer = {}) {
    const std::size_t slot = cells_.findSlot(s);
    if (slot == Cells::npos) return;
    const double c = cells_.valueAt(slot);
    eraseCell(slot, observer);
    insertRow(r, c, observer);
  }

  // Drops the cell of s whatever its value (the artificial symbol's removal).
  template <class Observer = NoCellObserver>
  void removeSymbol(Symbol s, Observer&& observer = {}) {
    const std::size_t slot = cells_.findSlot(s);
    if (slot != Cells::npos) eraseCell(slot, observer);
  }

 private:
  static bool countsNegative(Symbol s, double c) { return c < 0.0 && !s.isDummy(); }

  template <class Observer>
  void addToCell(Symbol s, double c, Observer&& observer) {
    if (!keepsDummies_ && s.isDummy()) return;
    const std::size_t slot = cells_.findSlot(s);
    if (slot == Cells::npos) {
      // 0 + c: a near-zero c leaves the cell absent.
      if (nearZero(c)) return;
      cells_.insertNew(s, c);
      if (countsNegative(s, c)) ++negativeCount_;
      observer.added(s);
      return;
    }
    double& cell = cells_.valueAt(slot);
    const double v = cell + c;
    if (nearZero(v)) {
      eraseCell(slot, observer);
      return;
    }
    if (countsNegative(s, cell)) --negativeCount_;
    if (countsNegative(s, v)) ++negativeCount_;
    cell = v;
  }

  template <class Observer>
  void eraseCell(std::size_t slot, Observer& observer) {
    const Symbol s = cells_.keyAt(slot);
    if (countsNegative(s, cells_.valueAt(slot))) --negativeCount_;
    cells_.eraseSlot(slot);
    observer.removed(s);
  }

  void recountNegatives() {
    negativeCount_ = 0;
    for (auto [s, c] : cells_)
      if (countsNegative(s, c)) ++negativeCount_;
  }

  double constant_;
  Cells cells_;
  std::size_t negativeCount_ = 0;
  bool keepsDummies_ = true;
};

}  // namespace setup::layout
