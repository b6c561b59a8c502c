// fixedint comparison and + - *: the sign, wrap and overflow rules against a
// GMP model on random operands, what the model does not reach (malformed
// digits, unusable lengths), and the trace each operator leaves.
#include "support/intmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <stdexcept>
#include <string>
#include <utility>

namespace {

using VELDRA::fixedint;
using namespace veldratest;
using lines = std::vector<std::string>;

fixedint apply(char op, fixedint& left, const fixedint& right) {
  switch (op) {
  case '+':
    return left + right;
  case '-':
    return left - right;
  default:
    return left * right;
  }
}

// Only digits outside 0..9 carry more than one out of the top place; the
// refusal must come before the left operand is reset.
TEST(FixedintArithmetic, CarryAboveNineIsRefusedWithTheLeftIntact) {
  fixedint left = withdigits({50});
  EXPECT_EQ(whatof<std::out_of_range>(
                [&] { static_cast<void>(left + withdigits({50})); }),
            "Carry over 9!");
  EXPECT_EQ(left.digits, digitvector{50});
}

TEST(FixedintArithmetic, UnusableLengthsThrowBeforeAnythingIsMade) {
  fixedint left(3, 5);
  left.numsigned = false;
  const fixedint right(4, 5);
  tracecapture cap;
  for (const char op : {'+', '*', '-'}) {
    tracecapture::reset();
    EXPECT_EQ(whatof<std::length_error>(
                  [&] { static_cast<void>(apply(op, left, right)); }),
              "Int sizes are not equal!");
    // Only the right operand's copy goes; the difference negates its own
    // copy of it first.
    EXPECT_EQ(cap.lines(), op == '-' ? concat({creationlines(4), deletions(3)})
                                     : deletions(1));
  }
  EXPECT_EQ(left.asstring(), "5");
  EXPECT_FALSE(left.numsigned);
  // The empty product cannot even hold a zero.
  EXPECT_EQ(whatof<std::out_of_range>(
                [] { static_cast<void>(fixedint(0) * fixedint(0)); }),
            "Input int bigger than size!");
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

// The right operand is taken by value, and operators built on others pass
// further copies: each leaves its "Deleted" line.
TEST(FixedintArithmeticTrace, LinesOfEachOperator) {
  const fixedint three(1, 3);
  const fixedint five(1, 5);
  const fixedint minusthree(1, -3);
  const fixedint minusfive(1, -5);
  const lines one = creationlines(1);
  const struct {
    std::int64_t left;
    char op;
    const fixedint& right;
    const char* result;
    lines trace;
  } cases[] = {
      {3, '*', three, "9",
       concat({creationlines(2), resizelines(1), deletions(2)})},
      // Same signs: the sum is a copy of the local result.
      {3, '+', five, "8", concat({one, deletions(3)})},
      // Mixed signs: a second result; copies for ==, < and > on the way.
      {5, '+', minusthree, "2", concat({one, one, deletions(8)})},
      // The negative operand larger: the difference again, magnitudes
      // reversed (two absolute values, the negated copy, the inner sum's
      // two numbers).
      {3, '+', minusfive, "-2",
       concat(
           {one, one, deletions(3), one, one, one, one, one, deletions(16)})},
      {5, '-', three, "2", concat({one, one, one, deletions(10)})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.left) + c.op + c.right.asstring());
    fixedint left(1, c.left);
    tracecapture cap;
    EXPECT_EQ(apply(c.op, left, c.right).asstring(), c.result);
    EXPECT_EQ(cap.lines(), c.trace);
  }

  // A throwing overflow still destroys the partial sum.
  fixedint seven(1, 7);
  seven.throwwhenover = true;
  tracecapture cap;
  EXPECT_THROW(static_cast<void>(seven + five), std::overflow_error);
  EXPECT_EQ(cap.lines(), concat({one, deletions(2)}));
  // < runs != only when > is false.
  tracecapture::reset();
  EXPECT_FALSE(five < three);
  EXPECT_EQ(cap.lines(), deletions(2));
  tracecapture::reset();
  EXPECT_TRUE(three < five);
  EXPECT_EQ(cap.lines(), deletions(4));
}

// What a + b, a - b or a * b must leave, as places of the result ("" for
// an overflow_error) and of the left operand.
std::pair<std::string, std::string> expectedresult(char op, const fixedint& a,
                                                   const fixedint& b) {
  const intstate left(a);
  const intstate right(b);
  const intoutcome model = op == '+'   ? sumof(left, right)
                           : op == '-' ? differenceof(left, right)
                                       : productof(left, right);
  return {model.overflow ? "" : placesof(model.digits(), model.isneg),
          placesof(model.left.digits, model.left.isneg)};
}

// Equal means equal lengths, sign flags and values (so 0 differs from -0);
// otherwise the sign decides, then the magnitude.
bool expectedtruth(char op, const fixedint& a, const fixedint& b) {
  const bool equal = a.digits.size() == b.digits.size() && a.isneg == b.isneg &&
                     a.digits == b.digits;
  const bool greaterthan = greater(intstate(a), intstate(b));
  return op == '=' ? equal : op == '>' ? greaterthan : !greaterthan && !equal;
}

TEST(FixedintDifferential, AgreesWithGmp) {
  const testseed seed(20261208);
  operandsource source(seed.value());
  const std::size_t rounds = differentialcases();
  for (std::size_t round = 0; round < rounds && !HasFailure(); ++round) {
    if (round % 1024 == 0) {
      tracecapture::reset();
    }
    const char op = "+-*=<>"[source.below(6)];
    const bool relation = op == '=' || op == '<' || op == '>';
    const std::size_t length = 1 + source.below(60);
    fixedint a = source.number(length);
    fixedint b = a; // equal magnitudes: zero sums, equality
    if (source.below(6) == 0) {
      b.isneg = source.coin();
    } else {
      b = source.number(relation && source.below(4) == 0 ? source.below(61)
                                                         : length);
    }
    a.numsigned = source.coin();
    a.throwwhenover = source.coin();
    SCOPED_TRACE(placesof(a) + " " + op + " " + placesof(b) +
                 (a.numsigned ? "" : ", left unsigned") +
                 (a.throwwhenover ? ", left throws on overflow" : ""));
    fixedint left = a;
    if (relation) {
      const bool truth = op == '='   ? left == b
                         : op == '<' ? left < b
                                     : left > b;
      EXPECT_EQ(truth, expectedtruth(op, a, b));
      EXPECT_EQ(placesof(left), placesof(a));
      continue;
    }
    const std::pair<std::string, std::string> want = expectedresult(op, a, b);
    std::string result;
    try {
      const fixedint out = apply(op, left, b);
      result = placesof(out);
      EXPECT_TRUE(out.size == length && out.numsigned && !out.throwwhenover);
    } catch (const std::overflow_error&) {
    }
    EXPECT_EQ(result, want.first);
    EXPECT_EQ(placesof(left), want.second);
    EXPECT_TRUE(left.numsigned == a.numsigned &&
                left.throwwhenover == a.throwwhenover &&
                left.size == left.digits.size());
  }
  tracecapture::reset();
}

} // namespace
