// Variables, terms, expressions, relational operators, strengths and constraints
// : the values a user of the layout solver works with.
//
// Variable and Constraint are handles to shared objects and are identified by that
// object, never by name or value. Term and Expression are plain values: an
// Expression never changes after it is made, so sharing it or copying it cannot be
// told apart.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace setup::layout {

class Solver;

// The strength of a constraint that must hold exactly; anything below is a preference.
inline constexpr double required = 1001001000.0;

// The strengths that the window layout uses.
inline constexpr double kContainerEditStrength = required - 1.0;  // 1001000999.0
inline constexpr double kChildPositionStrength = 0.01;
inline constexpr double kChildSizeStrength = 0.05;

class Variable {
 public:
  // A new variable: name ":anonymous", value 0.0.
  Variable();

  const std::string& name() const { return data_->name; }
  // The solved value: 0.0 until Solver::refreshVariables writes it.
  double value() const { return data_->value; }

  // The object that identifies this variable (its address is the key of every table).
  const void* identity() const { return data_.get(); }
  bool sameAs(const Variable& other) const { return data_ == other.data_; }

 private:
  friend class Solver;
  struct Data {
    std::string name;
    double value;
  };
  void setValue(double value) const { data_->value = value; }

  std::shared_ptr<Data> data_;
};

struct Term {
  Term(Variable v, double c = 1.0) : variable(std::move(v)), coefficient(c) {}  // NOLINT

  Variable variable;
  double coefficient;
};

class Expression {
 public:
  Expression() = default;
  Expression(std::vector<Term> terms, double constant = 0.0)  // NOLINT: implicit on purpose
      : terms_(std::move(terms)), constant_(constant) {}
  Expression(Term term, double constant = 0.0)  // NOLINT
      : terms_{std::move(term)}, constant_(constant) {}
  Expression(const Variable& v)  // NOLINT: (v, 1.0), constant 0.0
      : terms_{Term(v, 1.0)} {}

  const std::vector<Term>& terms() const { return terms_; }
  double constant() const { return constant_; }

 private:
  std::vector<Term> terms_;
  double constant_ = 0.0;
};

// The arithmetic: every result is a new expression, like terms are kept.
Expression operator+(const Term& a, const Term& b);
Expression operator+(const Expression& e, const Term& t);
Expression operator+(const Expression& e, const Expression& f);
Expression operator+(const Expression& e, double k);
Expression operator-(const Expression& e);

// The constraint holds when its expression compared with 0 by the operator holds.
enum class RelationalOperator : std::uint8_t { LE = 0, GE = 1, EQ = 2 };

class Constraint {
 public:
  // Reduces like terms (one term per variable, in order of first appearance, summed
  // coefficients kept even when zero) and clips the strength into [0, required]
  // (NaN passes unchanged).
  Constraint(const Expression& expression, RelationalOperator op, double strength = required);

  const Expression& expression() const { return data_->expression; }
  RelationalOperator op() const { return data_->op; }
  double strength() const { return data_->strength; }

  const void* identity() const { return data_.get(); }
  bool sameAs(const Constraint& other) const { return data_ == other.data_; }

 private:
  struct Data {
    Expression expression;
    double strength;
    RelationalOperator op;
  };
  std::shared_ptr<const Data> data_;
};

double clipStrength(double strength);

// Relations (required equalities): a == b is the constraint a + (-b) == 0, the terms
// of a first; v == k has the single term (v, 1.0) and the constant -k.
Constraint operator==(const Expression& a, const Expression& b);
Constraint operator==(const Variable& v, double k);

}  // namespace setup::layout
