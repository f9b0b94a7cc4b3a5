// Seeded random constraint systems for the layout solver's checks: required
// equalities and inequalities (mostly consistent, some deliberately conflicting),
// weighted preferences, edit variables and suggestions, in three sizes and three
// orders of adding. The same seed and size give the same system on every machine (our
// own draws from std::mt19937_64, no distributions), and describe() prints it so that
// a failure can be read and replayed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "layout/expression.h"

namespace setup::layout::testing {

struct TermSpec {
  int variable;
  double coefficient;
};

struct Operation {
  enum class Kind { AddConstraint, AddEditVariable, Suggest, Check };
  Kind kind;
  // AddConstraint: sum(terms) + constant (op) 0 at strength.
  std::vector<TermSpec> terms;
  double constant = 0.0;
  RelationalOperator op = RelationalOperator::EQ;
  double strength = required;
  // AddEditVariable (strength above) and Suggest.
  int variable = 0;
  double value = 0.0;
};

struct RandomSystem {
  std::uint64_t seed;
  int variables;
  std::vector<Operation> operations;
};

// How large a system is drawn: its variable count and operation count (before the
// closing suggestions) lie in these ranges.
struct SystemSize {
  const char* name;
  int minVariables, maxVariables;
  int minOperations, maxOperations;
};
inline constexpr SystemSize kSmall{"small", 2, 6, 4, 16};
inline constexpr SystemSize kMedium{"medium", 6, 12, 16, 40};
inline constexpr SystemSize kLarge{"large", 20, 40, 60, 120};

// The order in which a system's constraints and edit variables are added. A window
// layout adds a window's edit variables before its relations, so the relations find
// their variables basic already and go through the artificial symbol; added first, a
// relation solves for a variable of its own.
enum class Order { AsDrawn, EditVariablesFirst, ConstraintsFirst };
inline const char* name(Order order) {
  switch (order) {
    case Order::AsDrawn:
      return "as drawn";
    case Order::EditVariablesFirst:
      return "edit variables first";
    case Order::ConstraintsFirst:
      return "constraints first";
  }
  return "";
}

// The operations in that order: the edit variables, or the constraints, moved to the
// front; everything else keeps its relative order (so each suggestion still follows
// its edit variable).
inline RandomSystem reordered(const RandomSystem& s, Order order) {
  if (order == Order::AsDrawn) return s;
  const Operation::Kind front = order == Order::EditVariablesFirst
                                    ? Operation::Kind::AddEditVariable
                                    : Operation::Kind::AddConstraint;
  RandomSystem out{s.seed, s.variables, {}};
  for (const Operation& o : s.operations)
    if (o.kind == front) out.operations.push_back(o);
  for (const Operation& o : s.operations)
    if (o.kind != front) out.operations.push_back(o);
  return out;
}

inline std::string formatNumber(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.17g", x);
  return buffer;
}

inline std::string describe(const Operation& o) {
  static const char* const ops[] = {"<=", ">=", "=="};
  std::string out;
  switch (o.kind) {
    case Operation::Kind::AddConstraint:
      out = "addConstraint ";
      for (const TermSpec& t : o.terms)
        out += formatNumber(t.coefficient) + "*x" + std::to_string(t.variable) + " + ";
      out += formatNumber(o.constant) + " " + ops[static_cast<int>(o.op)] + " 0";
      out += o.strength == required ? " required" : " strength " + formatNumber(o.strength);
      break;
    case Operation::Kind::AddEditVariable:
      out = "addEditVariable x" + std::to_string(o.variable) + " strength " +
            formatNumber(o.strength);
      break;
    case Operation::Kind::Suggest:
      out = "suggestValue x" + std::to_string(o.variable) + " = " + formatNumber(o.value);
      break;
    case Operation::Kind::Check:
      out = "refreshVariables and check";
      break;
  }
  return out;
}

inline std::string describe(const RandomSystem& s) {
  std::string out = "system of seed " + std::to_string(s.seed) + ", variables x0..x" +
                    std::to_string(s.variables - 1) + ":\n";
  for (std::size_t i = 0; i < s.operations.size(); ++i)
    out += "  " + std::to_string(i) + ": " + describe(s.operations[i]) + "\n";
  return out;
}

inline RandomSystem generateSystem(std::uint64_t seed, const SystemSize& size = kSmall) {
  std::mt19937_64 rng(seed);
  const auto below = [&](std::uint64_t n) { return static_cast<int>(rng() % n); };
  const auto between = [&](int lo, int hi) {
    return lo + below(static_cast<std::uint64_t>(hi - lo + 1));
  };
  const auto pick = [&](std::initializer_list<double> values) {
    return values.begin()[below(values.size())];
  };

  RandomSystem s{seed, between(size.minVariables, size.maxVariables), {}};
  // A hidden point that the consistent required constraints pass through or bound.
  std::vector<double> point(static_cast<std::size_t>(s.variables));
  for (double& x : point) x = between(-20, 20);

  const auto randomTerms = [&] {
    std::vector<TermSpec> terms;
    const int count = between(1, 3);
    for (int i = 0; i < count; ++i)
      terms.push_back({below(static_cast<std::uint64_t>(s.variables)),
                       pick({-3.0, -2.0, -1.0, -0.5, 0.5, 1.0, 1.0, 2.0})});
    return terms;
  };
  const auto valueAtPoint = [&](const std::vector<TermSpec>& terms) {
    double sum = 0.0;
    for (const TermSpec& t : terms)
      sum += t.coefficient * point[static_cast<std::size_t>(t.variable)];
    return sum;
  };
  const auto randomOp = [&] { return static_cast<RelationalOperator>(below(3)); };

  std::vector<bool> edited(static_cast<std::size_t>(s.variables), false);
  const int count = between(size.minOperations, size.maxOperations);
  for (int i = 0; i < count; ++i) {
    Operation o{};
    const int roll = below(100);
    if (roll < 25) {  // a required equality through the point
      o.kind = Operation::Kind::AddConstraint;
      o.terms = randomTerms();
      o.constant = -valueAtPoint(o.terms);
      o.op = RelationalOperator::EQ;
    } else if (roll < 45) {  // a required inequality that the point satisfies
      o.kind = Operation::Kind::AddConstraint;
      o.terms = randomTerms();
      o.op = below(2) ? RelationalOperator::LE : RelationalOperator::GE;
      const double gap = between(0, 5);
      o.constant = -valueAtPoint(o.terms) + (o.op == RelationalOperator::LE ? -gap : gap);
    } else if (roll < 52) {  // a required constraint that may well conflict
      o.kind = Operation::Kind::AddConstraint;
      o.terms = randomTerms();
      o.op = randomOp();
      o.constant = between(-30, 30);
    } else if (roll < 75) {  // a preference
      o.kind = Operation::Kind::AddConstraint;
      o.terms = randomTerms();
      o.op = randomOp();
      o.constant = between(-30, 30);
      o.strength = pick({0.0, 0.01, 0.05, 0.5, 1.0, 3.0, 10.0, 1000.0, 1001000999.0});
    } else if (roll < 88) {  // an edit variable
      const int v = below(static_cast<std::uint64_t>(s.variables));
      if (edited[static_cast<std::size_t>(v)]) {
        --i;
        continue;
      }
      edited[static_cast<std::size_t>(v)] = true;
      o.kind = Operation::Kind::AddEditVariable;
      o.variable = v;
      o.strength = pick({-1.0, 0.01, 0.05, 1.0, 2.0, 100.0, 1001000999.0});
    } else if (roll < 95) {  // a suggestion for some edit variable
      std::vector<int> edits;
      for (int v = 0; v < s.variables; ++v)
        if (edited[static_cast<std::size_t>(v)]) edits.push_back(v);
      if (edits.empty()) {
        --i;
        continue;
      }
      o.kind = Operation::Kind::Suggest;
      o.variable = edits[static_cast<std::size_t>(below(edits.size()))];
      o.value = between(-30, 30);
    } else {
      o.kind = Operation::Kind::Check;
    }
    s.operations.push_back(o);
  }
  // Every edit variable gets a suggestion, then a check; then new suggestions, which
  // only the dual optimisation absorbs, and a last check.
  for (int round = 0; round < 2; ++round) {
    for (int v = 0; v < s.variables; ++v) {
      if (!edited[static_cast<std::size_t>(v)]) continue;
      Operation o{};
      o.kind = Operation::Kind::Suggest;
      o.variable = v;
      o.value = between(-30, 30);
      s.operations.push_back(o);
    }
    Operation check{};
    check.kind = Operation::Kind::Check;
    s.operations.push_back(check);
  }
  return s;
}

}  // namespace setup::layout::testing
