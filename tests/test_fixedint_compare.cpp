// fixedint comparison: == != < > >= <= by the sign flags, then the magnitude,
// against GMP; malformed digits; the copies each operator leaves in the trace.
#include "support/intmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

namespace {

using VELDRA::fixedint;
using namespace veldratest;

// a op b as the model has it, the left operand left as it was.  Equal means
// equal lengths, sign flags and values (so 0 differs from -0); otherwise
// the sign decides, then the magnitude.
void expectmodelled(char op, const fixedint& a, const fixedint& b) {
  const bool equal = a.digits.size() == b.digits.size() && a.isneg == b.isneg &&
                     a.digits == b.digits;
  const bool greaterthan = greater(intstate(a), intstate(b));
  fixedint left = a;
  const bool truth = op == '=' ? left == b : op == '<' ? left < b : left > b;
  EXPECT_EQ(truth, op == '='   ? equal
                   : op == '>' ? greaterthan
                               : !greaterthan && !equal);
  EXPECT_EQ(placesof(left), placesof(a));
  if (equal) {
    EXPECT_EQ(std::hash<fixedint>{}(a), std::hash<fixedint>{}(b));
  }
}

TEST(FixedintComparison, AgreesWithGmp) {
  const testseed seed(20261208);
  differentialrounds(seed, "=<>", true, expectmodelled);
}

// Malformed digits count where they stand: the significant length decides
// first, then the places from the top as signed values.
TEST(FixedintComparison, MalformedDigitsCountBySignificantLengthFirst) {
  // -1 in the tens place is the longer magnitude, though -1 < 0.
  EXPECT_TRUE(withdigits({0, -1}) > withdigits({5, 0}));
  EXPECT_TRUE(withdigits({5, 0}) < withdigits({0, -1}));
  // Equal significant lengths: the signed top digits decide.
  EXPECT_TRUE(withdigits({0, -1}) < withdigits({0, 2}));
  EXPECT_TRUE(withdigits({0, 2, 3}) > withdigits({0, -1, 3}));
  // The same over more places than one machine word, and across lengths.
  digitvector high(20, 0);
  digitvector low(20, 0);
  high[17] = -2;
  low[2] = 7;
  EXPECT_TRUE(withdigits(high) > withdigits(low));
  low.resize(30);
  low[25] = -3;
  EXPECT_TRUE(withdigits(low) > withdigits(high));
}

TEST(FixedintComparison, AtLeastAndAtMostRunTheirOperators) {
  fixedint zero(2);
  fixedint negzero(2);
  negzero.flipsign();
  EXPECT_TRUE(zero >= negzero);
  EXPECT_FALSE(negzero >= zero);
  EXPECT_TRUE(negzero <= zero);
  EXPECT_TRUE(fixedint(2, -3) <= fixedint(2, -3));
  EXPECT_FALSE(fixedint(2, 4) <= fixedint(2, -3));
  EXPECT_TRUE(fixedint(2, 5) <= fixedint(4, 5));  // < holds across lengths
  EXPECT_FALSE(fixedint(2, 5) >= fixedint(4, 5)); // as neither > nor == does
  const fixedint a(2, 7);
  const fixedint b(2, 7);
  tracecapture cap;
  EXPECT_TRUE(a >= b); // the argument's copy, then > and == each copy it
  EXPECT_EQ(cap.lines(), operandsgone(3));
}

// The right operand is taken by value, and < passes further copies to the
// operators it runs: each leaves its "Deleted" line.
TEST(FixedintComparison, LessThanRunsNotEqualOnlyWhenGreaterIsFalse) {
  const fixedint three(1, 3);
  const fixedint five(1, 5);
  tracecapture cap;
  EXPECT_FALSE(five < three);
  EXPECT_EQ(cap.lines(), lessthancopies(true));
  tracecapture::reset();
  EXPECT_TRUE(three < five);
  EXPECT_EQ(cap.lines(), lessthancopies(false));
}

} // namespace
