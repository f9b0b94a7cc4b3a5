// The layout constraint solver: an incremental simplex solver of
// the Cassowary kind. Required constraints hold exactly; the weighted sum of the
// violations of the others is minimised. Constraints and edit variables are only
// ever added; a solver is dropped whole.
//
// Every choice of the engine goes by a fixed walk order: the rows of the tableau in the
// slot order of their symbol table (symbol_table.h), a row's cells newest symbol first
// (Row::firstCell). Newest first keeps the choices with the constraint being added, so
// that a layout built window by window pivots once per relation (see Row::firstCell).
// Where the textbook method walks the whole tableau the solver looks only at the rows that
// hold the symbol in question (a column index) and then breaks ties by the same walk
// order, so both give the same pivots; SolverOptions::literalWalks runs the literal
// walks instead, which the tests use to show that.
//
// Exceptions: the five below (all ValueError, raised before anything changes except
// UnsatisfiableConstraintException, see addConstraint), and AssertionDefect for an
// internal fault such as an unbounded objective ("... The objective is unbounded.").
//
// Where this departs from the textbook method (each guarded by a test named for the fault):
// - A required constraint refused through the artificial symbol: its row is dropped
//   instead of pivoted into the tableau, and the objective is optimised again before
//   the exception. The textbook method's way left the refused row in the tableau (infeasible
//   for good, or moving variables) and the objective short of its minimum.
// - An entering symbol that no row bounds raises the defect only when its objective
//   coefficient is more than a rounding residue (tolerances.h: kResidueRelative);
//   a residue is dropped. Weights near 1e9 leave residues near 1e-7.
// - addEditVariable refuses a NaN strength (RequiredFailureException): the textbook method lets
//   it pass, and the edit then became a required v == 0 that moved v to minus every
//   suggested value.
// - A suggestion of the value already suggested touches no row (the textbook method's own edge
//   case says nothing changes; its formula would only flip -0.0 constants to +0.0).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "layout/expression.h"
#include "layout/key_set.h"
#include "layout/row.h"
#include "layout/symbol.h"
#include "layout/symbol_table.h"
#include "runtime/errors.h"

namespace setup::layout {

// The solver's exceptions: an empty message, the raising operation as procedure,
// and the module name "solver".
class SolverException : public ValueError {
 public:
  const char* module() const noexcept { return "solver"; }

 protected:
  explicit SolverException(std::string procedure) : ValueError("", std::move(procedure)) {}
};

#define SETUP_LAYOUT_SOLVER_EXCEPTION(Name)                                         \
  class Name : public SolverException {                                             \
   public:                                                                          \
    explicit Name(std::string procedure) : SolverException(std::move(procedure)) {} \
    const char* kind() const noexcept override { return #Name; }                    \
  };
// addConstraint: the constraint object has been added to this solver already.
SETUP_LAYOUT_SOLVER_EXCEPTION(DuplicateConstraintException)
// addConstraint: a required constraint contradicts the required ones already added.
SETUP_LAYOUT_SOLVER_EXCEPTION(UnsatisfiableConstraintException)
// addEditVariable: the variable is an edit variable of this solver already.
SETUP_LAYOUT_SOLVER_EXCEPTION(DuplicateEditVariableException)
// addEditVariable: the strength (negative raised to 0) is required or more, or NaN.
SETUP_LAYOUT_SOLVER_EXCEPTION(RequiredFailureException)
// suggestValue: the variable is not an edit variable of this solver.
SETUP_LAYOUT_SOLVER_EXCEPTION(UnknownEditVariableException)
#undef SETUP_LAYOUT_SOLVER_EXCEPTION

inline constexpr const char* kUnboundedObjective = "Internal error: The objective is unbounded.";

// What the solver records for each added constraint.
struct Tag {
  Symbol marker;   // the slack, the first error symbol or the dummy of the constraint
  Symbol partner;  // the second error symbol of a non-required constraint, else invalid
};

struct EditRecord {
  Tag tag;
  Constraint constraint;  // variable == 0 at the edit strength
  double constant;        // the last suggested value
};

// One step of the engine, as recorded when SolverOptions::trace is set.
struct TraceEvent {
  enum class Kind : std::uint8_t {
    Basic,       // first: a new row's subject became basic (adding a constraint)
    Pivot,       // first entered the basis, second left it
    Infeasible,  // first was appended to the infeasible list
    Residue,     // first's objective cell was dropped as a rounding residue
  };
  Kind kind;
  Symbol first;
  Symbol second;
  friend bool operator==(const TraceEvent&, const TraceEvent&) = default;
};

struct SolverOptions {
  // Decide by walking the whole tableau as the engine's rules word it, instead of through the
  // column index (same results, far slower on large tableaux).
  bool literalWalks = false;
  // Check the solver's own bookkeeping after every operation (AssertionDefect).
  bool checkInvariants = false;
  // Where addEditVariable appends the diagnostic of a caught failure; null: standard output.
  std::string* diagnostics = nullptr;
  // When set, every step of the engine is appended here (tests).
  std::vector<TraceEvent>* trace = nullptr;
};

class Solver {
 public:
  using Rows = SymbolTable<std::unique_ptr<Row>>;

  Solver();
  explicit Solver(SolverOptions options);
  Solver(const Solver&) = delete;
  Solver& operator=(const Solver&) = delete;
  ~Solver();

  // Throws DuplicateConstraintException (nothing changes) or
  // UnsatisfiableConstraintException (the constraint is not recorded; the symbols
  // made for it stay spent and its new variables stay known; the solver stays usable).
  void addConstraint(const Constraint& constraint);

  // Makes variable an edit variable held by the constraint variable == 0 at strength.
  // A negative strength counts as 0.0. Throws DuplicateEditVariableException or
  // RequiredFailureException, before anything changes. A failure of adding the edit
  // constraint is written as one line to the diagnostics stream and dropped.
  void addEditVariable(const Variable& variable, double strength);

  bool isEditVariable(const Variable& variable) const;

  // Throws UnknownEditVariableException (nothing changes). Ends with a dual
  // optimisation; the variables show the result after refreshVariables.
  void suggestValue(const Variable& variable, double value);

  // Writes the solved value of every variable that has appeared in an added
  // constraint: its row's constant when it is basic, else 0.0.
  void refreshVariables();

  // Inspection, for tests and diagnostics.
  const Rows& rows() const { return rows_; }
  const Row& objective() const { return objective_; }
  const std::vector<Symbol>& infeasible() const { return infeasible_; }
  std::uint32_t idCounter() const { return idCounter_; }
  std::optional<Tag> tagOf(const Constraint& constraint) const;
  Symbol symbolOf(const Variable& variable) const;  // invalid when unknown
  const EditRecord* editRecordOf(const Variable& variable) const;
  // Checks the column index, the negative-row set and the objective's negative count
  // against the tableau; throws AssertionDefect on a mismatch.
  void checkInvariants() const;

 private:
  struct VariableEntry {
    Variable variable;
    Symbol symbol;
  };
  struct ConstraintEntry {
    Constraint constraint;
    Tag tag;
  };
  struct EditEntry {
    Variable variable;
    EditRecord record;
  };
  class IndexObserver;

  Symbol newSymbol(SymbolKind kind);
  Symbol symbolFor(const Variable& variable);
  std::unique_ptr<Row> buildRow(const Constraint& constraint, Tag& tag);
  Symbol chooseSubject(const Row& row, const Tag& tag) const;
  void addConstraintUnchecked(const Constraint& constraint);
  bool addWithArtificialSymbol(std::unique_ptr<Row> row);
  void optimise(Row& objective);
  Symbol leavingSymbol(Symbol entering) const;
  void pivot(Symbol entering, Symbol leaving);
  static bool isRoundingResidue(const Row& objective, Symbol entering);
  void dualOptimise();
  Symbol dualEnteringSymbol(const Row& row) const;
  void substituteEverywhere(Symbol s, const Row& r);
  void suggest(EditRecord& edit, double value);

  // The tableau's bookkeeping: every row goes in and out of rows_ through these.
  // A row in the tableau has a handle, which it keeps through a pivot that moves it
  // from the leaving symbol's key to the entering one's; the column index and the
  // negative-row set name rows by handle, so a pivot re-indexes only the two cells it
  // changes, not the whole row.
  using Handle = std::uint32_t;
  void storeRow(Symbol key, std::unique_ptr<Row> row);  // a new row, with a new handle
  std::unique_ptr<Row> takeRow(Symbol key);             // out of the tableau for good
  // Out of rows_ for a pivot; its handle and cells stay in the column index.
  std::unique_ptr<Row> detachRow(Symbol key);
  void attachRow(Symbol key, Handle handle, std::unique_ptr<Row> row);
  void noteConstant(Handle handle);
  void appendInWalkOrder(const std::vector<Handle>& handles);
  Handle handleOf(Symbol s) const { return handleOf_[s.id()]; }
  Row* rowOf(Symbol s) const { return byHandle_[handleOf(s)].row; }  // invalid symbol: null
  Symbol keyOf(Handle handle) const { return byHandle_[handle].key; }
  Row& rowAt(Handle handle) const { return *byHandle_[handle].row; }
  KeySet& column(Symbol s) { return columns_[s.id()]; }
  const KeySet& column(Symbol s) const { return columns_[s.id()]; }
  void checkIfAsked() const;
  void record(TraceEvent::Kind kind, Symbol first, Symbol second = Symbol()) {
    if (options_.trace) options_.trace->push_back({kind, first, second});
  }
  void appendInfeasible(Symbol key) {
    infeasible_.push_back(key);
    record(TraceEvent::Kind::Infeasible, key);
  }

  SolverOptions options_;
  std::unordered_map<const void*, ConstraintEntry> constraints_;
  Rows rows_;
  std::unordered_map<const void*, std::size_t> variableSymbols_;  // index into variables_
  std::vector<VariableEntry> variables_;
  std::unordered_map<const void*, EditEntry> edits_;
  std::vector<Symbol> infeasible_;
  Row objective_;
  std::unique_ptr<Row> artificial_;
  std::uint32_t idCounter_ = 0;

  // The same rows as rows_, reached without probing (rows_ still decides every walk
  // and tie among rows).
  struct Basic {
    Symbol key;  // invalid while the row is detached for a pivot, or the handle is free
    Row* row;    // null while the handle is free
  };
  std::vector<Basic> byHandle_;  // [0]: no row
  std::vector<Handle> freeHandles_;
  // [symbol id]: its row's handle while the symbol is basic, else 0.
  std::vector<Handle> handleOf_;
  // columns_[id]: the handles of the rows that hold a cell for the symbol id. Dummy
  // symbols are left out: one becomes basic only as the fresh marker of a redundant
  // constraint, which no row holds yet, so their columns would never be read, and
  // they make most cells of a layout's tableau (every relation is a required equality).
  static bool indexed(Symbol s) { return !s.isDummy(); }
  std::vector<KeySet> columns_;
  // The handles of non-External rows in rows_ whose constant is below 0.
  KeySet negativeRows_;
  std::vector<Handle> scratch_;
};

}  // namespace setup::layout
