#include "layout/solver.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>

#include "layout/tolerances.h"

namespace setup::layout {

// Keeps the column index of a row in rows_ current while its cells change.
class Solver::IndexObserver {
 public:
  IndexObserver(Solver& solver, Handle handle) : solver_(solver), handle_(handle) {}
  void added(Symbol s) const {
    if (indexed(s)) solver_.column(s).insert(handle_);
  }
  void removed(Symbol s) const {
    if (indexed(s)) solver_.column(s).erase(handle_);
  }

 private:
  Solver& solver_;
  Handle handle_;
};

Solver::Solver() : Solver(SolverOptions{}) {}

Solver::Solver(SolverOptions options)
    : options_(options), byHandle_(1, Basic{}), handleOf_(1, 0), columns_(1) {}

Solver::~Solver() = default;

// ---------------------------------------------------------------------------
// The operations.

void Solver::addConstraint(const Constraint& constraint) {
  if (constraints_.count(constraint.identity()) != 0)
    throw DuplicateConstraintException("addConstraint");
  addConstraintUnchecked(constraint);
  checkIfAsked();
}

void Solver::addEditVariable(const Variable& variable, double strength) {
  if (edits_.count(variable.identity()) != 0)
    throw DuplicateEditVariableException("addEditVariable");
  if (strength < 0.0) strength = 0.0;
  // The textbook method lets NaN through, but constraint building takes a NaN strength for
  // required (it is not below required): the edit constraint would become the
  // required v == 0 with a Dummy marker, and suggestions would then move v to
  // minus the suggested value. So NaN is refused like required.
  if (strength >= required || std::isnan(strength))
    throw RequiredFailureException("addEditVariable");

  const Constraint constraint(Expression(Term(variable, 1.0), 0.0), RelationalOperator::EQ,
                              strength);
  try {
    addConstraint(constraint);
  } catch (const std::exception& e) {
    // Serves only against internal faults: a fresh non-required edit constraint
    // cannot be refused. The variable still becomes an edit variable.
    const auto* error = dynamic_cast<const Error*>(&e);
    std::string line = "solver.addEditVariable: caught ";
    line += error ? error->kind() : "exception";
    if (error) line += " raised by solver." + error->procedure();
    line += ": " + std::string(e.what()) + '\n';
    if (options_.diagnostics) {
      *options_.diagnostics += line;
    } else {
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fflush(stdout);
    }
  }
  const auto found = constraints_.find(constraint.identity());
  const Tag tag = found != constraints_.end() ? found->second.tag : Tag{};
  edits_.emplace(variable.identity(), EditEntry{variable, EditRecord{tag, constraint, 0.0}});
  checkIfAsked();
}

bool Solver::isEditVariable(const Variable& variable) const {
  return edits_.count(variable.identity()) != 0;
}

void Solver::suggestValue(const Variable& variable, double value) {
  const auto found = edits_.find(variable.identity());
  if (found == edits_.end()) throw UnknownEditVariableException("suggestValue");
  suggest(found->second.record, value);
  checkIfAsked();
}

void Solver::refreshVariables() {
  for (const VariableEntry& entry : variables_) {
    const Row* row = rowOf(entry.symbol);
    entry.variable.setValue(row ? row->constant() : 0.0);
  }
}

std::optional<Tag> Solver::tagOf(const Constraint& constraint) const {
  const auto found = constraints_.find(constraint.identity());
  if (found == constraints_.end()) return std::nullopt;
  return found->second.tag;
}

Symbol Solver::symbolOf(const Variable& variable) const {
  const auto found = variableSymbols_.find(variable.identity());
  return found == variableSymbols_.end() ? Symbol() : variables_[found->second].symbol;
}

const EditRecord* Solver::editRecordOf(const Variable& variable) const {
  const auto found = edits_.find(variable.identity());
  return found == edits_.end() ? nullptr : &found->second.record;
}

// ---------------------------------------------------------------------------
// The engine.

Symbol Solver::newSymbol(SymbolKind kind) {
  // The textbook method leaves open what follows once the 30-bit id field is used up; ids must
  // stay distinct for the tables, so we stop there (no layout comes near it).
  if (idCounter_ == Symbol::kIdMask) throw AssertionDefect("symbol ids exhausted", "newSymbol");
  ++idCounter_;
  columns_.emplace_back();
  handleOf_.push_back(0);
  return Symbol(kind, idCounter_);
}

Symbol Solver::symbolFor(const Variable& variable) {
  const auto [found, fresh] = variableSymbols_.try_emplace(variable.identity(), variables_.size());
  if (!fresh) return variables_[found->second].symbol;
  const Symbol symbol = newSymbol(SymbolKind::External);
  variables_.push_back({variable, symbol});
  return symbol;
}

std::unique_ptr<Row> Solver::buildRow(const Constraint& constraint, Tag& tag) {
  const Expression& expression = constraint.expression();
  auto row = std::make_unique<Row>(expression.constant());
  for (const Term& term : expression.terms()) {
    if (nearZero(term.coefficient)) continue;
    const Symbol symbol = symbolFor(term.variable);
    if (const Row* basic = rowOf(symbol))
      row->insertRow(*basic, term.coefficient);
    else
      row->insertSymbol(symbol, term.coefficient);
  }

  const double strength = constraint.strength();
  switch (constraint.op()) {
    case RelationalOperator::LE:
    case RelationalOperator::GE: {
      const double c = constraint.op() == RelationalOperator::LE ? 1.0 : -1.0;
      tag.marker = newSymbol(SymbolKind::Slack);
      row->insertSymbol(tag.marker, c);
      if (strength < required) {
        tag.partner = newSymbol(SymbolKind::Error);
        row->insertSymbol(tag.partner, -c);
        objective_.insertSymbol(tag.partner, strength);
      }
      break;
    }
    case RelationalOperator::EQ:
      if (strength < required) {
        tag.marker = newSymbol(SymbolKind::Error);
        tag.partner = newSymbol(SymbolKind::Error);
        row->insertSymbol(tag.marker, -1.0);
        row->insertSymbol(tag.partner, 1.0);
        objective_.insertSymbol(tag.marker, strength);
        objective_.insertSymbol(tag.partner, strength);
      } else {
        tag.marker = newSymbol(SymbolKind::Dummy);
        row->insertSymbol(tag.marker, 1.0);
      }
      break;
  }
  if (row->constant() < 0.0) row->reverseSign();
  return row;
}

Symbol Solver::chooseSubject(const Row& row, const Tag& tag) const {
  const Symbol external = row.firstCell([](Symbol s, double) { return s.isExternal(); });
  if (external.valid()) return external;
  if (tag.marker.isPivotable() && row.coefficientFor(tag.marker) < 0.0) return tag.marker;
  if (tag.partner.valid() && tag.partner.isPivotable() && row.coefficientFor(tag.partner) < 0.0)
    return tag.partner;
  return Symbol();
}

void Solver::addConstraintUnchecked(const Constraint& constraint) {
  Tag tag;
  std::unique_ptr<Row> row = buildRow(constraint, tag);
  if (!tag.marker.valid()) throw AssertionDefect("Internal error", "addConstraint");

  Symbol subject = chooseSubject(*row, tag);
  if (!subject.valid()) {
    bool allDummies = true;
    for (auto [s, c] : row->cells()) {
      if (!s.isDummy()) {
        allDummies = false;
        break;
      }
    }
    if (allDummies) {
      if (!nearZero(row->constant())) throw UnsatisfiableConstraintException("addConstraint");
      subject = tag.marker;  // redundant: the dummy becomes basic
    }
  }
  if (!subject.valid()) {
    if (!addWithArtificialSymbol(std::move(row))) {
      // Mended: the artificial optimisation pivoted the tableau and substituted into
      // the objective, which the textbook method leaves there, no longer at its minimum; the
      // dual optimisations of later suggestions then start from a non-optimal basis
      // and end suboptimal. The tableau is feasible again, so a primal pass mends it.
      optimise(objective_);
      throw UnsatisfiableConstraintException("addConstraint");
    }
  } else {
    record(TraceEvent::Kind::Basic, subject);
    row->solveFor(subject);
    substituteEverywhere(subject, *row);
    storeRow(subject, std::move(row));
  }
  constraints_.emplace(constraint.identity(), ConstraintEntry{constraint, tag});
  optimise(objective_);
}

// row goes into the tableau itself: nothing reads it after the adding, so one copy (the
// artificial objective, without Dummy cells: see Row::withoutDummies) is all it needs.
bool Solver::addWithArtificialSymbol(std::unique_ptr<Row> row) {
  const Symbol art = newSymbol(SymbolKind::Slack);
  artificial_ = std::make_unique<Row>(Row::withoutDummies(*row));
  storeRow(art, std::move(row));
  try {
    optimise(*artificial_);
  } catch (...) {
    artificial_.reset();  // it lives only inside one adding
    throw;
  }
  const bool success = nearZero(artificial_->constant());
  artificial_.reset();

  if (const Row* basic = rowOf(art)) {
    // Mended: the textbook method pivots art out here on failure too. Removing art afterwards
    // then imposes the refused row on the tableau (x >= 10, then x <= 5 refused,
    // leaves s = -5 - s' basic: infeasible for good, and x may read 5). A basic art
    // appears in no other row, so dropping its row restores the accepted system.
    const Symbol entering =
        success ? basic->firstCell([](Symbol s, double) { return s.isPivotable(); }) : Symbol();
    if (!entering.valid()) {
      // Failed, or a row without cells (success stands), or without a pivotable one.
      const bool empty = basic->cells().empty();
      takeRow(art);
      return success && empty;
    }
    pivot(entering, art);
  }

  if (options_.literalWalks) {
    for (auto [key, r] : rows_) r->removeSymbol(art, IndexObserver(*this, handleOf(key)));
  } else {
    scratch_.clear();
    column(art).appendTo(scratch_);
    for (Handle h : scratch_) rowAt(h).removeSymbol(art, IndexObserver(*this, h));
  }
  objective_.removeSymbol(art);
  return success;
}

void Solver::optimise(Row& objective) {
  for (;;) {
    // Entering: the first cell in walk order that is not Dummy and is below 0.
    Symbol entering;
    if (options_.literalWalks || objective.negativeCount() != 0)
      entering = objective.firstCell([](Symbol s, double c) { return !s.isDummy() && c < 0.0; });
    if (!entering.valid()) return;

    const Symbol leaving = leavingSymbol(entering);
    if (!leaving.valid()) {
      // Mended: the textbook method raises the defect here whatever the size of the coefficient.
      if (!isRoundingResidue(objective, entering))
        throw AssertionDefect(kUnboundedObjective, "optimise");
      record(TraceEvent::Kind::Residue, entering);
      objective.removeSymbol(entering);
      continue;
    }
    pivot(entering, leaving);
  }
}

// leaving's row leaves rows_, is solved for entering, substituted everywhere and goes
// back as entering's.
void Solver::pivot(Symbol entering, Symbol leaving) {
  record(TraceEvent::Kind::Pivot, entering, leaving);
  const Handle handle = handleOf(leaving);
  std::unique_ptr<Row> row = detachRow(leaving);
  row->solveFor(leaving, entering, IndexObserver(*this, handle));
  substituteEverywhere(entering, *row);
  attachRow(entering, handle, std::move(row));
}

bool Solver::isRoundingResidue(const Row& objective, Symbol entering) {
  double scale = 1.0;
  for (auto [s, c] : objective.cells()) scale = std::max(scale, std::fabs(c));
  return std::fabs(objective.coefficientFor(entering)) < kResidueRelative * scale;
}

// The row that leaves when entering enters: the least ratio -constant / c over the
// non-External rows whose coefficient c of entering is below 0; ties go to the row
// met first in the walk of rows_.
Symbol Solver::leavingSymbol(Symbol entering) const {
  double ratio = std::numeric_limits<double>::infinity();
  Symbol chosen;
  if (options_.literalWalks) {
    for (auto [key, row] : rows_) {
      if (key.isExternal()) continue;
      const double c = row->coefficientFor(entering);
      if (c < 0.0) {
        const double q = -row->constant() / c;
        if (q < ratio) {
          ratio = q;
          chosen = key;
        }
      }
    }
    return chosen;
  }
  std::size_t chosenSlot = Rows::npos;
  column(entering).forEach([&](Handle h) {
    const Symbol key = keyOf(h);
    if (key.isExternal()) return;
    const Row* row = &rowAt(h);
    const double c = row->coefficientFor(entering);
    if (!(c < 0.0)) return;
    const double q = -row->constant() / c;
    if (q < ratio) {
      ratio = q;
      chosen = key;
      chosenSlot = Rows::npos;  // found when a tie needs it
    } else if (q == ratio && chosen.valid()) {
      const std::size_t slot = rows_.findSlot(key);
      if (chosenSlot == Rows::npos) chosenSlot = rows_.findSlot(chosen);
      if (slot < chosenSlot) {
        chosen = key;
        chosenSlot = slot;
      }
    }
  });
  return chosen;
}

void Solver::dualOptimise() {
  while (!infeasible_.empty()) {
    const Symbol leaving = infeasible_.back();
    infeasible_.pop_back();
    const Row* row = rowOf(leaving);
    if (!row || !(row->constant() < 0.0)) continue;
    const Symbol entering = dualEnteringSymbol(*row);
    if (!entering.valid()) continue;  // stays infeasible, unreported
    pivot(entering, leaving);
  }
}

// The cell (s, c) of an infeasible row, s not Dummy and c > 0, with the least ratio
// (objective coefficient of s) / c; ties go to the first in the row's walk order
// (newest first, as Row::firstCell).
Symbol Solver::dualEnteringSymbol(const Row& row) const {
  double ratio = std::numeric_limits<double>::infinity();
  Symbol chosen;
  for (auto [s, c] : row.cells()) {
    if (s.isDummy() || !(c > 0.0)) continue;
    const double q = objective_.coefficientFor(s) / c;
    if (q < ratio || (q == ratio && chosen.valid() && s.id() > chosen.id())) {
      ratio = q;
      chosen = s;
    }
  }
  return chosen;
}

// s has become basic with the row r (which is not in rows_): replace s in every row
// of the tableau, the objective and the artificial row; every non-External row whose
// constant is then below 0 goes on the infeasible list, in walk order.
void Solver::substituteEverywhere(Symbol s, const Row& r) {
  if (options_.literalWalks) {
    for (auto [key, row] : rows_) {
      row->substitute(s, r, IndexObserver(*this, handleOf(key)));
      noteConstant(handleOf(key));
      if (!key.isExternal() && row->constant() < 0.0) appendInfeasible(key);
    }
  } else {
    scratch_.clear();
    column(s).appendTo(scratch_);
    for (Handle h : scratch_) {
      rowAt(h).substitute(s, r, IndexObserver(*this, h));
      noteConstant(h);
    }
    // Rows without s keep their constants, but the textbook method tests them all: the negative
    // ones among them are exactly those already in negativeRows_.
    if (!negativeRows_.empty()) {
      scratch_.clear();
      negativeRows_.appendTo(scratch_);
      appendInWalkOrder(scratch_);
    }
  }
  objective_.substitute(s, r);
  if (artificial_) artificial_->substitute(s, r);
}

void Solver::suggest(EditRecord& edit, double value) {
  const double delta = value - edit.constant;
  edit.constant = value;
  const Symbol marker = edit.tag.marker;
  const Symbol partner = edit.tag.partner;

  if (delta == 0.0) {
    // By design a repeated value changes no constant, so no row is
    // touched (its formula would only turn a -0.0 constant into +0.0). Every layout
    // pass repeats the container's left and top and most windows' geometry. The rows
    // the textbook method would append are those that are below 0 already, so they still go.
    if (const Row* row = rowOf(marker)) {
      if (row->constant() < 0.0) appendInfeasible(marker);
    } else if (const Row* other = rowOf(partner)) {
      if (other->constant() < 0.0) appendInfeasible(partner);
    } else if (options_.literalWalks) {
      for (auto [key, r] : rows_) {
        if (r->coefficientFor(marker) != 0.0 && r->constant() < 0.0 && !key.isExternal())
          appendInfeasible(key);
      }
    } else if (!negativeRows_.empty()) {
      std::vector<Handle> negative;
      negativeRows_.forEach([&](Handle h) {
        if (rowAt(h).coefficientFor(marker) != 0.0) negative.push_back(h);
      });
      appendInWalkOrder(negative);
    }
    dualOptimise();
    return;
  }

  if (Row* row = rowOf(marker)) {
    row->setConstant(row->constant() - delta);
    noteConstant(handleOf(marker));
    if (row->constant() < 0.0) appendInfeasible(marker);
  } else if (Row* other = rowOf(partner)) {
    other->setConstant(other->constant() + delta);
    noteConstant(handleOf(partner));
    if (other->constant() < 0.0) appendInfeasible(partner);
  } else if (options_.literalWalks) {
    for (auto [key, r] : rows_) {
      const double c = r->coefficientFor(marker);
      if (c != 0.0) {
        r->setConstant(c * delta + r->constant());
        noteConstant(handleOf(key));
        if (r->constant() < 0.0 && !key.isExternal()) appendInfeasible(key);
      }
    }
  } else {
    scratch_.clear();
    column(marker).appendTo(scratch_);
    std::vector<Handle> negative;
    for (Handle h : scratch_) {
      Row& r = rowAt(h);
      const double c = r.coefficientFor(marker);
      if (c != 0.0) {
        r.setConstant(c * delta + r.constant());
        noteConstant(h);
        if (r.constant() < 0.0 && !keyOf(h).isExternal()) negative.push_back(h);
      }
    }
    appendInWalkOrder(negative);
  }
  dualOptimise();
}

// ---------------------------------------------------------------------------
// Bookkeeping.

void Solver::storeRow(Symbol key, std::unique_ptr<Row> row) {
  Handle handle;
  if (freeHandles_.empty()) {
    handle = static_cast<Handle>(byHandle_.size());
    byHandle_.push_back({});
  } else {
    handle = freeHandles_.back();
    freeHandles_.pop_back();
  }
  for (auto [s, c] : row->cells())
    if (indexed(s)) column(s).insert(handle);
  attachRow(key, handle, std::move(row));
}

std::unique_ptr<Row> Solver::takeRow(Symbol key) {
  const Handle handle = handleOf(key);
  std::unique_ptr<Row> row = detachRow(key);
  for (auto [s, c] : row->cells())
    if (indexed(s)) column(s).erase(handle);
  byHandle_[handle].row = nullptr;
  freeHandles_.push_back(handle);
  return row;
}

std::unique_ptr<Row> Solver::detachRow(Symbol key) {
  const Handle handle = handleOf(key);
  const std::size_t slot = rows_.findSlot(key);
  std::unique_ptr<Row> row = std::move(rows_.valueAt(slot));
  rows_.eraseSlot(slot);
  handleOf_[key.id()] = 0;
  byHandle_[handle].key = Symbol();
  negativeRows_.erase(handle);
  return row;
}

void Solver::attachRow(Symbol key, Handle handle, std::unique_ptr<Row> row) {
  byHandle_[handle] = {key, row.get()};
  handleOf_[key.id()] = handle;
  noteConstant(handle);
  rows_.insertNew(key, std::move(row));
}

void Solver::noteConstant(Handle handle) {
  const Basic& basic = byHandle_[handle];
  if (!basic.key.isExternal() && basic.row->constant() < 0.0)
    negativeRows_.insert(handle);
  else
    negativeRows_.erase(handle);
}

// Appends the keys of rows in rows_ to the infeasible list in the walk order of rows_.
void Solver::appendInWalkOrder(const std::vector<Handle>& handles) {
  if (handles.empty()) return;
  std::vector<std::pair<std::size_t, Symbol>> bySlot;
  bySlot.reserve(handles.size());
  for (Handle h : handles) bySlot.emplace_back(rows_.findSlot(keyOf(h)), keyOf(h));
  std::sort(bySlot.begin(), bySlot.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto [slot, key] : bySlot) appendInfeasible(key);
}

void Solver::checkIfAsked() const {
  if (options_.checkInvariants) checkInvariants();
}

void Solver::checkInvariants() const {
  const auto fail = [](const std::string& what) {
    throw AssertionDefect("solver invariant: " + what, "checkInvariants");
  };
  const auto recount = [](const Row& row) {
    std::size_t n = 0;
    for (auto [s, c] : row.cells())
      if (!s.isDummy() && c < 0.0) ++n;
    return n;
  };
  if (artificial_) fail("an artificial row outlived its adding");
  std::size_t cells = 0;  // indexed ones
  std::size_t live = 0;
  for (const Basic& basic : byHandle_) live += basic.row != nullptr;
  if (live != rows_.size()) fail("a handle outlived its row");
  std::size_t keyed = 0;
  for (Handle handle : handleOf_) keyed += handle != 0;
  if (keyed != rows_.size()) fail("a symbol kept the handle of a row it left");
  for (auto [key, row] : rows_) {
    const Handle handle = handleOf(key);
    if (handle == 0 || keyOf(handle) != key || &rowAt(handle) != row.get())
      fail("a row without its handle");
    for (auto [s, c] : row->cells()) {
      if (rows_.contains(s)) fail("a basic symbol is a cell of a row");
      if (!indexed(s)) continue;
      ++cells;
      if (!column(s).contains(handle)) fail("column index misses a cell");
    }
    if (recount(*row) != row->negativeCount()) fail("negative count of a row");
    const bool negative = !key.isExternal() && row->constant() < 0.0;
    if (negative != negativeRows_.contains(handle)) fail("negative row set");
  }
  std::size_t inIndex = 0;
  for (const KeySet& set : columns_) inIndex += set.size();
  if (inIndex != cells) fail("column index holds cells that are gone");
  negativeRows_.forEach([&](Handle handle) {
    if (!keyOf(handle).valid()) fail("negative row set holds a row that is gone");
  });
  if (recount(objective_) != objective_.negativeCount()) fail("negative count of the objective");
  for (auto [s, c] : objective_.cells())
    if (rows_.contains(s)) fail("a basic symbol is a cell of the objective");
  for (Symbol s : infeasible_)
    if (s.isExternal()) fail("an External key on the infeasible list");
}

}  // namespace setup::layout
