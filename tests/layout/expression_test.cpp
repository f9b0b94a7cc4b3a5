// Variables, the arithmetic of expressions, relations, and the
// normalisation of constraints (reduction of like terms, clipping of the strength).
#include "layout/expression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace setup::layout {
namespace {

struct ExpectedTerm {
  const Variable* variable;
  double coefficient;
};

void expectTerms(const Expression& e, std::initializer_list<ExpectedTerm> expected,
                 double constant) {
  ASSERT_EQ(e.terms().size(), expected.size());
  std::size_t i = 0;
  for (const ExpectedTerm& t : expected) {
    EXPECT_TRUE(e.terms()[i].variable.sameAs(*t.variable)) << "term " << i;
    EXPECT_EQ(e.terms()[i].coefficient, t.coefficient) << "term " << i;
    ++i;
  }
  EXPECT_EQ(e.constant(), constant);
}

TEST(Variable, StartsAnonymousAtZeroAndIsIdentifiedByItself) {
  const Variable a, b;
  EXPECT_EQ(a.name(), ":anonymous");
  EXPECT_EQ(a.value(), 0.0);
  EXPECT_FALSE(a.sameAs(b));
  EXPECT_NE(a.identity(), b.identity());
  const Variable copy = a;  // a handle: the same variable
  EXPECT_TRUE(copy.sameAs(a));
}

TEST(Expression, ArithmeticFollowsItsTable) {
  const Variable a, b, c;
  const Term ta(a, 2.0), tb(b, -1.0), tc(c, 3.0);
  const Expression e = Expression({ta, tb}, 5.0);
  const Expression f = Expression(tc, -2.0);

  expectTerms(ta + tb, {{&a, 2.0}, {&b, -1.0}}, 0.0);
  expectTerms(e + tc, {{&a, 2.0}, {&b, -1.0}, {&c, 3.0}}, 5.0);
  expectTerms(e + f, {{&a, 2.0}, {&b, -1.0}, {&c, 3.0}}, 3.0);
  expectTerms(e + 10.0, {{&a, 2.0}, {&b, -1.0}}, 15.0);
  expectTerms(-e, {{&a, -2.0}, {&b, 1.0}}, -5.0);
  // The inputs are untouched.
  expectTerms(e, {{&a, 2.0}, {&b, -1.0}}, 5.0);
  expectTerms(f, {{&c, 3.0}}, -2.0);
}

TEST(Expression, SumsKeepLikeTermsUntilAConstraintIsMade) {
  const Variable v, w;
  const Expression sum = Expression(Term(v, 1.0)) + Expression({Term(v, 2.0), Term(w, 1.0)});
  expectTerms(sum, {{&v, 1.0}, {&v, 2.0}, {&w, 1.0}}, 0.0);
  const Constraint c(sum, RelationalOperator::LE, 1.0);
  expectTerms(c.expression(), {{&v, 3.0}, {&w, 1.0}}, 0.0);
}

TEST(Constraint, ReductionKeepsZeroSumsAndTheConstant) {
  const Variable v, w;
  const Expression e({Term(v, 1.0), Term(w, 2.0), Term(v, -1.0)}, 4.0);
  const Constraint c(e, RelationalOperator::GE, 1.0);
  expectTerms(c.expression(), {{&v, 0.0}, {&w, 2.0}}, 4.0);
  expectTerms(e, {{&v, 1.0}, {&w, 2.0}, {&v, -1.0}}, 4.0);  // input unchanged
  EXPECT_EQ(c.op(), RelationalOperator::GE);
}

// Past the scan limit the reduction hashes; the order is still first appearance.
TEST(Constraint, ReductionOfManyTermsKeepsFirstAppearanceOrder) {
  std::vector<Variable> vars(20);
  std::vector<Term> terms;
  for (int round = 0; round < 3; ++round)
    for (std::size_t i = 0; i < vars.size(); ++i) terms.emplace_back(vars[i], double(i + round));
  const Constraint c(Expression(terms, 0.0), RelationalOperator::EQ, 1.0);
  ASSERT_EQ(c.expression().terms().size(), vars.size());
  for (std::size_t i = 0; i < vars.size(); ++i) {
    EXPECT_TRUE(c.expression().terms()[i].variable.sameAs(vars[i]));
    EXPECT_EQ(c.expression().terms()[i].coefficient, 3.0 * double(i) + 3.0);
  }
}

TEST(Constraint, StrengthIsClipped) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double given;
    double expected;
  };
  const Case cases[] = {
      {-5.0, 0.0},          {0.0, 0.0},
      {0.01, 0.01},         {1001000999.0, 1001000999.0},
      {required, required}, {2000000000.0, required},
      {-inf, 0.0},          {inf, required},
  };
  const Variable v;
  for (const Case& c : cases) {
    EXPECT_EQ(Constraint(Expression(v), RelationalOperator::EQ, c.given).strength(), c.expected)
        << c.given;
  }
  EXPECT_TRUE(std::isnan(Constraint(Expression(v), RelationalOperator::EQ, NAN).strength()));
}

TEST(Constraint, IsIdentifiedByItselfNotByItsValue) {
  const Variable v;
  const Constraint a = v == 10.0;
  const Constraint b = v == 10.0;
  EXPECT_FALSE(a.sameAs(b));
  EXPECT_TRUE(Constraint(a).sameAs(a));
}

TEST(Relation, VariableEqualsNumber) {
  const Variable v;
  const Constraint c = v == 10.0;
  expectTerms(c.expression(), {{&v, 1.0}}, -10.0);
  EXPECT_EQ(c.op(), RelationalOperator::EQ);
  EXPECT_EQ(c.strength(), required);
}

TEST(Relation, ExpressionEqualsExpressionPutsTheLeftSideFirst) {
  const Variable a, b;
  const Constraint c = Expression(a) + 10.0 == Expression(b);
  expectTerms(c.expression(), {{&a, 1.0}, {&b, -1.0}}, 10.0);
  EXPECT_EQ(c.op(), RelationalOperator::EQ);
  EXPECT_EQ(c.strength(), required);

  // Relation 3 of the main window: P.top + (23 - 17) * 0.5 == L1.top.
  const Variable top, labelTop;
  const Constraint r3 = Expression(top) + (23 - 17) * 0.5 == Expression(labelTop);
  expectTerms(r3.expression(), {{&top, 1.0}, {&labelTop, -1.0}}, 3.0);
}

}  // namespace
}  // namespace setup::layout
