// An independent check of optimality: on a few hundred seeded random systems of three
// sizes, each added in three orders (as drawn, edit variables first as a window layout
// adds them, constraints first), the solver's solution satisfies every required
// constraint it accepted within check::kRequiredSlack, every constraint it refused is
// infeasible together with the accepted ones, and its weighted violation equals the
// optimum that GLPK (Debian's, used here only) finds for the same system. The same
// systems also run once with the literal whole-tableau walks: both modes must make the
// same pivots.
//
// A failure prints the whole system. To replay one seed (in every size and order):
//   LAYOUT_SEED=1234 ./layout_optimality_test
// (LAYOUT_SYSTEMS=N runs N systems of each size.)
#include <glpk.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

#include "layout/solver.h"
#include "layout/tolerances.h"
#include "tests/layout/random_systems.h"
#include "tests/layout/solver_testing.h"

namespace setup::layout {
namespace {

using testing::describe;
using testing::Operation;
using testing::Order;
using testing::RandomSystem;
using testing::SystemSize;
using testing::TermSpec;

constexpr std::uint64_t kFirstSeed = 1;
struct Batch {
  SystemSize size;
  std::uint64_t systems;
};
constexpr Batch kBatches[] = {{testing::kSmall, 400}, {testing::kMedium, 30}, {testing::kLarge, 5}};
constexpr Order kOrders[] = {Order::AsDrawn, Order::EditVariablesFirst, Order::ConstraintsFirst};

std::vector<std::uint64_t> seeds(std::uint64_t count) {
  if (const char* one = std::getenv("LAYOUT_SEED")) return {std::strtoull(one, nullptr, 10)};
  if (const char* n = std::getenv("LAYOUT_SYSTEMS")) count = std::strtoull(n, nullptr, 10);
  std::vector<std::uint64_t> out;
  for (std::uint64_t i = 0; i < count; ++i) out.push_back(kFirstSeed + i);
  return out;
}

// Runs check on every system in every size and order; reports the first five failures
// (check returns "" when the system passes).
template <class Check>
void checkAllSystems(Check&& check) {
  int failures = 0;
  for (const Batch& batch : kBatches) {
    for (std::uint64_t seed : seeds(batch.systems)) {
      const RandomSystem drawn = testing::generateSystem(seed, batch.size);
      for (Order order : kOrders) {
        const RandomSystem system = testing::reordered(drawn, order);
        const std::string failure = check(system);
        if (failure.empty()) continue;
        ADD_FAILURE() << failure << "\n"
                      << batch.size.name << " system, " << testing::name(order) << ", "
                      << describe(system) << "replay: LAYOUT_SEED=" << seed;
        if (++failures >= 5) return;
      }
    }
  }
}

// sum(terms) + constant, the terms merged per variable (GLPK refuses repeats).
std::map<int, double> merged(const std::vector<TermSpec>& terms) {
  std::map<int, double> m;
  for (const TermSpec& t : terms) m[t.variable] += t.coefficient;
  for (auto it = m.begin(); it != m.end();) it = it->second == 0.0 ? m.erase(it) : std::next(it);
  return m;
}

double evaluate(const Operation& o, const std::vector<Variable>& vars) {
  double sum = o.constant;
  for (const TermSpec& t : o.terms)
    sum += t.coefficient * vars[static_cast<std::size_t>(t.variable)].value();
  return sum;
}

// How far the expression value misses the operator's side of 0.
double violation(RelationalOperator op, double value) {
  switch (op) {
    case RelationalOperator::LE:
      return std::max(0.0, value);
    case RelationalOperator::GE:
      return std::max(0.0, -value);
    case RelationalOperator::EQ:
      return std::fabs(value);
  }
  return 0.0;
}

struct Edit {
  int variable;
  double strength;  // already raised to 0 when negative
  double suggested;
};

// The LP of a system: minimise sum(strength * error) subject to the required
// constraints, each preference with its error column(s), each edit as
// x - e+ + e- = suggested. Returns the exact optimum (glp_exact after glp_simplex),
// or nothing when the required constraints are infeasible.
std::optional<double> glpkOptimum(int variables, const std::vector<Operation>& constraints,
                                  const std::vector<Edit>& edits) {
  glp_prob* lp = glp_create_prob();
  glp_set_obj_dir(lp, GLP_MIN);
  glp_add_cols(lp, variables);
  for (int j = 1; j <= variables; ++j) glp_set_col_bnds(lp, j, GLP_FR, 0.0, 0.0);

  const auto errorColumn = [&](double weight) {
    const int j = glp_add_cols(lp, 1);
    glp_set_col_bnds(lp, j, GLP_LO, 0.0, 0.0);
    glp_set_obj_coef(lp, j, weight);
    return j;
  };
  const auto addRow = [&](std::map<int, double> coefficients, RelationalOperator op, double rhs) {
    const int i = glp_add_rows(lp, 1);
    std::vector<int> index{0};
    std::vector<double> value{0.0};
    for (auto [j, c] : coefficients) {
      index.push_back(j);
      value.push_back(c);
    }
    glp_set_mat_row(lp, i, static_cast<int>(index.size()) - 1, index.data(), value.data());
    const int type = op == RelationalOperator::LE   ? GLP_UP
                     : op == RelationalOperator::GE ? GLP_LO
                                                    : GLP_FX;
    glp_set_row_bnds(lp, i, type, rhs, rhs);
  };

  for (const Operation& c : constraints) {
    std::map<int, double> row;
    for (auto [v, a] : merged(c.terms)) row[v + 1] = a;
    if (c.strength == required) {
      if (row.empty()) {  // 0 + constant (op) 0: a fixed truth
        if (violation(c.op, c.constant) > 0.0) {
          glp_delete_prob(lp);
          return std::nullopt;
        }
        continue;
      }
      addRow(row, c.op, -c.constant);
      continue;
    }
    // A preference: expression + constant = e+ - e- (or <= e, >= -e).
    switch (c.op) {
      case RelationalOperator::LE:
        row[errorColumn(c.strength)] = -1.0;
        break;
      case RelationalOperator::GE:
        row[errorColumn(c.strength)] = 1.0;
        break;
      case RelationalOperator::EQ:
        row[errorColumn(c.strength)] = -1.0;
        row[errorColumn(c.strength)] = 1.0;
        break;
    }
    addRow(row, c.op, -c.constant);
  }
  for (const Edit& e : edits) {
    std::map<int, double> row{{e.variable + 1, 1.0}};
    row[errorColumn(e.strength)] = -1.0;
    row[errorColumn(e.strength)] = 1.0;
    addRow(row, RelationalOperator::EQ, e.suggested);
  }

  glp_smcp parameters;
  glp_init_smcp(&parameters);
  parameters.msg_lev = GLP_MSG_OFF;
  glp_simplex(lp, &parameters);
  glp_exact(lp, &parameters);
  const int status = glp_get_status(lp);
  const double optimum = glp_get_obj_val(lp);
  glp_delete_prob(lp);
  if (status == GLP_NOFEAS) return std::nullopt;
  if (status != GLP_OPT) return std::nullopt;
  return optimum;
}

// Runs the system on a solver; returns the first discrepancy, or "" when none.
std::string runAgainstGlpk(const RandomSystem& system) {
  SolverOptions options;
  options.checkInvariants = true;
  Solver solver(options);
  std::vector<Variable> vars(static_cast<std::size_t>(system.variables));
  std::vector<Operation> accepted;
  std::vector<Edit> edits;
  std::ostringstream failure;

  for (std::size_t i = 0; i < system.operations.size(); ++i) {
    const Operation& o = system.operations[i];
    const std::string at = "operation " + std::to_string(i) + " (" + describe(o) + "): ";
    switch (o.kind) {
      case Operation::Kind::AddConstraint: {
        std::vector<Term> terms;
        for (const TermSpec& t : o.terms)
          terms.emplace_back(vars[static_cast<std::size_t>(t.variable)], t.coefficient);
        try {
          solver.addConstraint(Constraint(Expression(terms, o.constant), o.op, o.strength));
          accepted.push_back(o);
        } catch (const UnsatisfiableConstraintException&) {
          if (o.strength != required) return at + "refused a preference";
          std::vector<Operation> with = accepted;
          with.push_back(o);
          if (glpkOptimum(system.variables, with, edits))
            return at + "refused, but GLPK finds the required constraints feasible with it";
        }
        break;
      }
      case Operation::Kind::AddEditVariable:
        solver.addEditVariable(vars[static_cast<std::size_t>(o.variable)], o.strength);
        edits.push_back({o.variable, std::max(0.0, o.strength), 0.0});
        break;
      case Operation::Kind::Suggest:
        solver.suggestValue(vars[static_cast<std::size_t>(o.variable)], o.value);
        for (Edit& e : edits)
          if (e.variable == o.variable) e.suggested = o.value;
        break;
      case Operation::Kind::Check: {
        solver.refreshVariables();
        double weighted = 0.0;
        double weights = 0.0;
        for (const Operation& c : accepted) {
          if (c.strength != required) weights += c.strength;
          const double miss = violation(c.op, evaluate(c, vars));
          if (c.strength == required) {
            if (miss > check::kRequiredSlack)
              return at + "required constraint (" + describe(c) + ") missed by " +
                     testing::formatNumber(miss);
          } else {
            weighted += c.strength * miss;
          }
        }
        for (const Edit& e : edits) weights += e.strength;
        for (const Edit& e : edits)
          weighted += e.strength *
                      std::fabs(vars[static_cast<std::size_t>(e.variable)].value() - e.suggested);
        const std::optional<double> optimum = glpkOptimum(system.variables, accepted, edits);
        if (!optimum) return at + "GLPK finds the accepted required constraints infeasible";
        const double tolerance = check::kOptimumRelative * std::max(1.0, std::fabs(*optimum)) +
                                 check::kValueAbsolute * weights;
        if (std::fabs(weighted - *optimum) > tolerance) {
          failure << at << "weighted violation " << testing::formatNumber(weighted)
                  << ", GLPK optimum " << testing::formatNumber(*optimum) << "; values:";
          for (std::size_t v = 0; v < vars.size(); ++v)
            failure << " x" << v << "=" << testing::formatNumber(vars[v].value());
          return failure.str();
        }
        break;
      }
    }
  }
  return "";
}

TEST(Optimality, MatchesGlpkOnRandomSystems) {
  glp_term_out(GLP_OFF);
  checkAllSystems(runAgainstGlpk);
}

// The column index and the literal walks make the same pivots, put the same
// symbols on the infeasible list and leave the same tableau, bit for bit.
std::string runTraced(const RandomSystem& system, bool literal, std::vector<TraceEvent>& trace) {
  SolverOptions options;
  options.literalWalks = literal;
  options.checkInvariants = true;
  options.trace = &trace;
  Solver solver(options);
  std::vector<Variable> vars(static_cast<std::size_t>(system.variables));
  std::string states;
  for (const Operation& o : system.operations) {
    try {
      switch (o.kind) {
        case Operation::Kind::AddConstraint: {
          std::vector<Term> terms;
          for (const TermSpec& t : o.terms)
            terms.emplace_back(vars[static_cast<std::size_t>(t.variable)], t.coefficient);
          solver.addConstraint(Constraint(Expression(terms, o.constant), o.op, o.strength));
          break;
        }
        case Operation::Kind::AddEditVariable:
          solver.addEditVariable(vars[static_cast<std::size_t>(o.variable)], o.strength);
          break;
        case Operation::Kind::Suggest:
          solver.suggestValue(vars[static_cast<std::size_t>(o.variable)], o.value);
          break;
        case Operation::Kind::Check:
          solver.refreshVariables();
          break;
      }
    } catch (const UnsatisfiableConstraintException&) {
      states += "refused\n";
    }
    states += testing::dumpSolver(solver);
  }
  return states;
}

TEST(WalkModes, IndexedAndLiteralWalksAgree) {
  checkAllSystems([](const RandomSystem& system) -> std::string {
    std::vector<TraceEvent> indexedTrace, literalTrace;
    const std::string indexed = runTraced(system, false, indexedTrace);
    const std::string literal = runTraced(system, true, literalTrace);
    return indexed == literal && indexedTrace == literalTrace ? "" : "walk modes differ";
  });
}

}  // namespace
}  // namespace setup::layout
