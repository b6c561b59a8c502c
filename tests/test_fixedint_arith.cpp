// fixedint + - *: the sign, wrap and overflow rules against GMP, what the model
// does not reach (malformed digits, unusable lengths), and the trace of each.
#include "support/intmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

using VELDRA::fixedint;
using namespace veldratest;

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

// The result and the left operand as the model has them, and the flags.
void expectmodelled(char op, const fixedint& a, const fixedint& b) {
  const std::pair<std::string, std::string> want = expectedresult(op, a, b);
  fixedint left = a;
  std::string result;
  try {
    const fixedint out = apply(op, left, b);
    result = placesof(out);
    EXPECT_TRUE(out.size == a.size && out.numsigned && !out.throwwhenover);
  } catch (const std::overflow_error&) {
  }
  EXPECT_EQ(result, want.first);
  EXPECT_EQ(placesof(left), want.second);
  EXPECT_TRUE(left.numsigned == a.numsigned &&
              left.throwwhenover == a.throwwhenover &&
              left.size == left.digits.size());
}

TEST(FixedintArithmetic, AgreesWithGmp) {
  const testseed seed(20261208);
  differentialrounds(seed, "+-*", false, expectmodelled);
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

// ---------------------------------------------------------------------------
// The trace of each operator
// ---------------------------------------------------------------------------

// a + b with like signs, or a unsigned: the sum is made, moved into the
// result and destroyed; then b's copy goes.
lines likesignsum(std::uint64_t length) {
  return concat({creationlines(length), numbersgone(), operandsgone()});
}

// a + b with unlike signs: the like-sign sum is made first and goes unused,
// then the result; the signs answer a == b and then a < b, whose copies of
// b show as stand-ins; `reversal` when b's magnitude is the larger; last the
// sum's copies of both operands, the unused sum and b's copy.
lines unlikesignsum(std::uint64_t length, bool leftnegative,
                    const lines& reversal) {
  return concat({creationlines(length), creationlines(length), operandsgone(),
                 lessthancopies(!leftnegative), reversal, numbersgone(2),
                 numbersgone(), operandsgone()});
}

// a - b: b's copy is taken over by a number of its own and negated, then
// a + (-b) gives the lines `sum`; then that number and b's copy go.
lines differencelines(std::uint64_t length, const lines& sum) {
  return concat({creationlines(length), sum, numbersgone(), operandsgone()});
}

// The reversal of a + b when b is the larger magnitude: |b| - |a| (abs makes
// logged copies), a difference of a positive left operand that does not
// reverse again; then |b| goes, and the difference once moved into the sum.
lines reversedsum(std::uint64_t length) {
  return concat({creationlines(length), creationlines(length),
                 differencelines(length, unlikesignsum(length, false, {})),
                 numbersgone(), resultgone()});
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
    // Only the right operand's copy goes; the difference takes over and
    // negates its copy first, and the sum it runs takes one more.
    EXPECT_EQ(cap.lines(),
              op == '-' ? differencelines(4, operandsgone()) : operandsgone());
  }
  EXPECT_EQ(left.asstring(), "5");
  EXPECT_FALSE(left.numsigned);
  // The empty product cannot even hold a zero.
  EXPECT_EQ(whatof<std::out_of_range>(
                [] { static_cast<void>(fixedint(0) * fixedint(0)); }),
            "Input int bigger than size!");
}

TEST(FixedintArithmeticTrace, LinesOfEachOperator) {
  const fixedint three(1, 3);
  const fixedint five(1, 5);
  const fixedint minusthree(1, -3);
  const fixedint minusfive(1, -5);
  const lines unlike = unlikesignsum(1, false, {});
  const struct {
    std::int64_t left;
    char op;
    const fixedint& right;
    const char* result;
    lines trace;
  } cases[] = {
      {3, '*', three, "9",
       concat({productlines(1), operandsgone(), resultgone()})},
      {3, '+', five, "8", concat({likesignsum(1), resultgone()})},
      {5, '+', minusthree, "2", concat({unlike, resultgone()})},
      {3, '+', minusfive, "-2",
       concat({unlikesignsum(1, false, reversedsum(1)), resultgone()})},
      {-3, '+', five, "2", concat({unlikesignsum(1, true, {}), resultgone()})},
      {5, '-', three, "2", concat({differencelines(1, unlike), resultgone()})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.left) + c.op + c.right.asstring());
    fixedint left(1, c.left);
    tracecapture cap;
    EXPECT_EQ(apply(c.op, left, c.right).asstring(), c.result);
    EXPECT_EQ(cap.lines(), c.trace);
  }
}

TEST(FixedintArithmeticTrace, AThrowingOverflowStillDestroysTheSum) {
  fixedint seven(1, 7);
  seven.throwwhenover = true;
  const fixedint five(1, 5);
  tracecapture cap;
  EXPECT_THROW(static_cast<void>(seven + five), std::overflow_error);
  EXPECT_EQ(cap.lines(), likesignsum(1));
}

} // namespace
