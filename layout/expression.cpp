#include "layout/expression.h"

#include <cmath>
#include <unordered_map>

namespace setup::layout {

Variable::Variable() : data_(std::make_shared<Data>(Data{":anonymous", 0.0})) {}

Expression operator+(const Term& a, const Term& b) {
  return Expression({a, b}, 0.0);
}

Expression operator+(const Expression& e, const Term& t) {
  std::vector<Term> terms = e.terms();
  terms.push_back(t);
  return Expression(std::move(terms), e.constant());
}

Expression operator+(const Expression& e, const Expression& f) {
  std::vector<Term> terms;
  terms.reserve(e.terms().size() + f.terms().size());
  terms.insert(terms.end(), e.terms().begin(), e.terms().end());
  terms.insert(terms.end(), f.terms().begin(), f.terms().end());
  return Expression(std::move(terms), e.constant() + f.constant());
}

Expression operator+(const Expression& e, double k) {
  return Expression(e.terms(), e.constant() + k);
}

Expression operator-(const Expression& e) {
  std::vector<Term> terms;
  terms.reserve(e.terms().size());
  for (const Term& t : e.terms()) terms.emplace_back(t.variable, -t.coefficient);
  return Expression(std::move(terms), -e.constant());
}

namespace {

// One term per variable in order of first appearance, coefficients summed from 0.0.
Expression reduce(const Expression& e) {
  const std::vector<Term>& terms = e.terms();
  std::vector<Term> reduced;
  reduced.reserve(terms.size());
  // Layout relations have two or three terms: a scan beats hashing there.
  constexpr std::size_t kScanLimit = 16;
  if (terms.size() <= kScanLimit) {
    for (const Term& t : terms) {
      auto it = reduced.begin();
      while (it != reduced.end() && !it->variable.sameAs(t.variable)) ++it;
      if (it == reduced.end()) it = reduced.insert(it, Term(t.variable, 0.0));
      it->coefficient += t.coefficient;
    }
  } else {
    std::unordered_map<const void*, std::size_t> index;
    for (const Term& t : terms) {
      auto [it, fresh] = index.try_emplace(t.variable.identity(), reduced.size());
      if (fresh) reduced.emplace_back(t.variable, 0.0);
      reduced[it->second].coefficient += t.coefficient;
    }
  }
  return Expression(std::move(reduced), e.constant());
}

}  // namespace

double clipStrength(double strength) {
  if (strength < 0.0) return 0.0;
  if (strength > required) return required;
  return strength;  // includes NaN
}

Constraint::Constraint(const Expression& expression, RelationalOperator op, double strength)
    : data_(std::make_shared<const Data>(Data{reduce(expression), clipStrength(strength), op})) {}

Constraint operator==(const Expression& a, const Expression& b) {
  return Constraint(a + (-b), RelationalOperator::EQ, required);
}

Constraint operator==(const Variable& v, double k) {
  return Constraint(Expression(Term(v, 1.0), 0.0) + (-Expression(std::vector<Term>{}, k)),
                    RelationalOperator::EQ, required);
}

}  // namespace setup::layout
