// fixedint comparison and arithmetic: carries, borrows, overflow, negative
// zero and unsigned left operands, the trace the operators leave, and a
// randomized comparison against GMP.
#include "support/gmpref.hpp"
#include "support/tracecapture.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using VELDRA::fixedint;
using veldratest::bigint;
using veldratest::concat;
using veldratest::creationlines;
using veldratest::fromdigits;
using veldratest::powerof10;
using veldratest::todigits;
using veldratest::tracecapture;
using digitvector = std::vector<signed char>;
using lines = std::vector<std::string>;

const std::string deleted = "Deleted fixedint object.";

// The first number of a process writes the set-up lines before its own; have
// them written before any test reads the trace.
class setupfirst : public testing::Environment {
  void SetUp() override { VELDRA::setup(); }
};
const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new setupfirst);

lines deletions(std::size_t count) { return lines(count, deleted); }

// The what() text of the E that `action` throws.
template <class E, class F> std::string whatof(F action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing was thrown";
  return {};
}

// A number of `length` digits from its text; "-0" is negative zero.
fixedint number(std::uint64_t length, const std::string& text) {
  fixedint n(length);
  const bool negative = text[0] == '-';
  n = std::stoll(text.substr(negative ? 1 : 0));
  n.isneg = negative;
  return n;
}

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

// Every arithmetic result: `length` digits in 0..9 and the default flags.
bool sound(const fixedint& result, std::uint64_t length) {
  return result.size == length && result.digits.size() == length &&
         std::all_of(result.digits.begin(), result.digits.end(),
                     [](signed char d) { return d >= 0 && d <= 9; }) &&
         result.numsigned && !result.throwwhenover;
}

struct arithcase {
  char op;
  std::uint64_t length;
  std::string left, right;
  bool leftsigned;
  std::string result;
  std::string leftafter; // empty: unchanged
};

std::string describe(const arithcase& c) {
  return c.left + " " + c.op + " " + c.right + " at length " +
         std::to_string(c.length) + (c.leftsigned ? "" : ", left unsigned");
}

// Runs each case with the left operand's throwwhenover as given.
void runcases(const std::vector<arithcase>& cases, bool throwover) {
  for (const arithcase& c : cases) {
    SCOPED_TRACE(describe(c));
    fixedint left = number(c.length, c.left);
    left.numsigned = c.leftsigned;
    left.throwwhenover = throwover;
    const fixedint result = apply(c.op, left, number(c.length, c.right));
    EXPECT_EQ(result.asstring(), c.result);
    EXPECT_TRUE(sound(result, c.length));
    EXPECT_EQ(left.asstring(), c.leftafter.empty() ? c.left : c.leftafter);
    EXPECT_EQ(left.digits.size(), c.length);
    EXPECT_EQ(left.numsigned, c.leftsigned);
    EXPECT_EQ(left.throwwhenover, throwover);
  }
}

TEST(FixedintArithmetic, ResultsWithinTheLength) {
  // throwwhenover is set on the left operand: never consulted without an
  // overflow, and never inherited by a result.
  runcases(
      {
          {'+', 1, "5", "3", true, "8", ""},
          {'+', 2, "7", "5", true, "12", ""},
          {'+', 2, "-7", "-5", true, "-12", ""},
          {'+', 4, "1", "999", true, "1000", ""},
          {'+', 1, "5", "-3", true, "2", ""},
          {'+', 1, "3", "-5", true, "-2", ""},
          {'+', 1, "-5", "3", true, "-2", ""},
          {'+', 1, "-3", "5", true, "2", ""},
          {'+', 1, "5", "-5", true, "0", ""},
          {'+', 1, "-5", "5", true, "0", ""},
          {'+', 3, "100", "-1", true, "99", ""},
          {'+', 3, "1", "-100", true, "-99", ""},
          {'+', 3, "0", "-0", true, "0", ""},
          {'+', 3, "-0", "0", true, "0", ""},
          {'+', 3, "-0", "-0", true, "-0", ""},
          {'+', 3, "-5", "0", true, "-5", ""},
          // Unsigned left operand: magnitudes add under its sign.
          {'+', 1, "5", "-3", false, "8", ""},
          {'+', 1, "-5", "3", false, "-8", ""},
          {'-', 1, "5", "3", true, "2", ""},
          {'-', 1, "3", "5", true, "-2", ""},
          {'-', 1, "-5", "-3", true, "-2", ""},
          {'-', 1, "5", "-3", true, "8", ""},
          {'-', 1, "-5", "3", true, "-8", ""},
          {'-', 3, "5", "5", true, "0", ""},
          {'-', 3, "-0", "0", true, "-0", ""},
          // A difference honours signs whatever the left operand says.
          {'-', 1, "3", "5", false, "-2", ""},
          {'*', 4, "12", "34", true, "408", ""},
          {'*', 4, "-12", "34", true, "-408", ""},
          {'*', 4, "-12", "-34", true, "408", ""},
          {'*', 2, "99", "99", true, "1", ""},
          {'*', 1, "9", "9", true, "1", ""},
          {'*', 3, "0", "-5", true, "-0", ""},
          {'*', 3, "-5", "0", true, "-0", ""},
          {'*', 4, "-12", "34", false, "408", ""},
          {'*', 4, "12", "-34", false, "408", ""},
      },
      true);
}

TEST(FixedintArithmetic, SilentOverflowWrapsAndLeavesTheCarryInTheLeft) {
  runcases(
      {
          {'+', 1, "7", "5", true, "2", "1"},
          {'+', 3, "999", "1", true, "0", "1"},
          {'+', 1, "-9", "-1", true, "-0", "1"},
          // Unsigned: the reset to zero keeps the left operand's sign.
          {'+', 1, "-9", "1", false, "-0", "-1"},
          {'-', 1, "9", "-1", true, "0", "1"},
          // A difference runs signed, so here the sign is cleared.
          {'-', 1, "-9", "1", false, "-0", "1"},
      },
      false);
}

TEST(FixedintArithmetic, ThrowingOverflowLeavesTheLeftUnchanged) {
  const arithcase cases[] = {
      {'+', 1, "7", "5", true, "", ""},   {'+', 2, "-50", "-50", true, "", ""},
      {'+', 1, "-9", "1", false, "", ""}, {'-', 1, "9", "-1", true, "", ""},
      {'-', 1, "-9", "1", false, "", ""},
  };
  for (const arithcase& c : cases) {
    SCOPED_TRACE(describe(c));
    fixedint left = number(c.length, c.left);
    left.numsigned = c.leftsigned;
    left.throwwhenover = true;
    const fixedint right = number(c.length, c.right);
    EXPECT_EQ(whatof<std::overflow_error>(
                  [&] { static_cast<void>(apply(c.op, left, right)); }),
              "Overflow occured.");
    EXPECT_EQ(left.asstring(), c.left);
    EXPECT_EQ(left.numsigned, c.leftsigned);
    EXPECT_TRUE(left.throwwhenover);
  }
}

// Only digits outside 0..9 carry more than one out of the top place; the
// refusal must come before the left operand is reset.
TEST(FixedintArithmetic, CarryAboveNineIsRefusedWithTheLeftIntact) {
  fixedint left(1);
  left.digits[0] = 50;
  fixedint right(1);
  right.digits[0] = 50;
  EXPECT_EQ(whatof<std::out_of_range>([&] { static_cast<void>(left + right); }),
            "Carry over 9!");
  EXPECT_EQ(left.digits, digitvector{50});
  EXPECT_FALSE(left.isneg);
}

TEST(FixedintArithmetic, UnusableLengthsThrowBeforeAnythingIsMade) {
  fixedint left = number(3, "5");
  left.numsigned = false;
  const fixedint right = number(4, "5");
  tracecapture cap;
  for (const char op : {'+', '*'}) {
    tracecapture::reset();
    EXPECT_EQ(whatof<std::length_error>(
                  [&] { static_cast<void>(apply(op, left, right)); }),
              "Int sizes are not equal!");
    EXPECT_EQ(cap.lines(), deletions(1)); // the right operand's copy
  }
  // The difference negates its copy of the right operand first.
  tracecapture::reset();
  EXPECT_EQ(whatof<std::length_error>([&] { static_cast<void>(left - right); }),
            "Int sizes are not equal!");
  EXPECT_EQ(cap.lines(), concat({creationlines(4), deletions(3)}));
  EXPECT_EQ(left.asstring(), "5");
  EXPECT_FALSE(left.numsigned);

  // The empty product cannot even hold a zero.
  fixedint empty(0);
  EXPECT_EQ(whatof<std::out_of_range>(
                [&] { static_cast<void>(empty * fixedint(0)); }),
            "Input int bigger than size!");
}

TEST(FixedintComparison, SignFirstThenValueAcrossLengths) {
  const struct {
    std::uint64_t leftlength;
    std::string left;
    std::uint64_t rightlength;
    std::string right;
    bool equal, greater, less;
  } cases[] = {
      {2, "5", 4, "5", false, false, true},
      {4, "5", 2, "5", false, false, true},
      {3, "0", 3, "-0", false, true, false},
      {3, "-0", 3, "0", false, false, true},
      {3, "-0", 3, "-0", true, false, false},
      {3, "7", 3, "7", true, false, false},
      {1, "-5", 1, "-3", false, false, true},
      {1, "-3", 1, "-5", false, true, false},
      {5, "120", 2, "99", false, true, false},
      {2, "99", 5, "120", false, false, true},
      {3, "5", 3, "-100", false, true, false},
      {3, "-100", 3, "5", false, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left + " vs " + c.right);
    const fixedint a = number(c.leftlength, c.left);
    const fixedint b = number(c.rightlength, c.right);
    EXPECT_EQ(a == b, c.equal);
    EXPECT_EQ(a != b, !c.equal);
    EXPECT_EQ(a > b, c.greater);
    EXPECT_EQ(a < b, c.less);
  }
  const fixedint empty(0);
  EXPECT_TRUE(empty == fixedint(0));
  EXPECT_FALSE(empty == fixedint(1));
  EXPECT_TRUE(empty < fixedint(1));
}

// Malformed digits count where they stand: the significant length decides
// first, then the places from the top as signed values.
TEST(FixedintComparison, MalformedDigitsCountBySignificantLengthFirst) {
  const auto make = [](const std::vector<signed char>& digits) {
    fixedint out(digits.size());
    out.digits = digits;
    return out;
  };
  // -1 in the tens place is the longer magnitude, though -1 < 0.
  EXPECT_TRUE(make({0, -1}) > make({5, 0}));
  EXPECT_TRUE(make({5, 0}) < make({0, -1}));
  // Equal places above the difference: the signed digits decide.
  EXPECT_TRUE(make({0, -1, 3}) < make({0, 2, 3}));
  EXPECT_TRUE(make({0, 2, 3}) > make({0, -1, 3}));
  // The same over more places than one machine word, and across lengths.
  std::vector<signed char> high(20, 0);
  std::vector<signed char> low(20, 0);
  high[17] = -2;
  low[2] = 7;
  EXPECT_TRUE(make(high) > make(low));
  EXPECT_TRUE(make(low) < make(high));
  low.resize(30);
  low[25] = -3;
  EXPECT_TRUE(make(low) > make(high));
}

// The right operand is taken by value, and operators built on others pass
// further copies: each leaves its "Deleted" line.
TEST(FixedintArithmeticTrace, LinesOfEachOperator) {
  const lines resizedtoone = {"Resize requested in fixedint.",
                              "Resizing Digits to: 1", "Done."};
  const fixedint three = number(1, "3");
  const fixedint five = number(1, "5");
  const fixedint minusthree = number(1, "-3");
  const fixedint minusfive = number(1, "-5");
  fixedint left(1);
  tracecapture cap;

  const fixedint product = three * three;
  EXPECT_EQ(product.asstring(), "9");
  EXPECT_EQ(cap.lines(),
            concat({creationlines(2), resizedtoone, deletions(1)}));

  // Same signs: the sum is a copy of the local result.
  left = number(1, "3");
  tracecapture::reset();
  EXPECT_EQ((left + five).asstring(), "8");
  EXPECT_EQ(cap.lines(), concat({creationlines(1), deletions(3)}));

  // Mixed signs: a second result; copies for ==, < and > on the way.
  left = number(1, "5");
  tracecapture::reset();
  EXPECT_EQ((left + minusthree).asstring(), "2");
  EXPECT_EQ(cap.lines(),
            concat({creationlines(1), creationlines(1), deletions(8)}));

  // The negative operand larger: the difference again, magnitudes reversed
  // (two absolute values, the negated copy, the inner sum's two numbers).
  left = number(1, "3");
  tracecapture::reset();
  EXPECT_EQ((left + minusfive).asstring(), "-2");
  EXPECT_EQ(cap.lines(),
            concat({creationlines(1), creationlines(1), deletions(3),
                    creationlines(1), creationlines(1), creationlines(1),
                    creationlines(1), creationlines(1), deletions(16)}));

  left = number(1, "5");
  tracecapture::reset();
  EXPECT_EQ((left - three).asstring(), "2");
  EXPECT_EQ(cap.lines(), concat({creationlines(1), creationlines(1),
                                 creationlines(1), deletions(10)}));

  // A throwing overflow still destroys the partial sum.
  left = number(1, "7");
  left.throwwhenover = true;
  tracecapture::reset();
  EXPECT_THROW(static_cast<void>(left + five), std::overflow_error);
  EXPECT_EQ(cap.lines(), concat({creationlines(1), deletions(2)}));

  // < runs != only when > is false.
  tracecapture::reset();
  EXPECT_FALSE(five < three);
  EXPECT_EQ(cap.lines(), deletions(2));
  tracecapture::reset();
  EXPECT_TRUE(three < five);
  EXPECT_EQ(cap.lines(), deletions(4));
}

// ---------------------------------------------------------------------------
// Randomized comparison with GMP
// ---------------------------------------------------------------------------

struct operand {
  digitvector digits; // well-formed, least significant first
  bool negative = false;
};

bool operator==(const operand& a, const operand& b) {
  return a.digits == b.digits && a.negative == b.negative;
}

bigint magnitude(const operand& o) { return fromdigits(o.digits); }

std::string describe(const operand& o) {
  return (o.negative ? "-" : "") + magnitude(o).str() + " (length " +
         std::to_string(o.digits.size()) + ")";
}

fixedint tofixedint(const operand& o) {
  fixedint n(o.digits.size());
  n.digits = o.digits;
  n.isneg = o.negative;
  return n;
}

// What one operation gives: an overflow_error, a truth value or a number,
// and the left operand afterwards.
struct outcome {
  bool overflowed = false;
  bool truth = false;
  operand result;
  operand left;
  bool sound = true; // result well-formed and fresh, left's flags kept
};

bool operator==(const outcome& a, const outcome& b) {
  return a.overflowed == b.overflowed && a.truth == b.truth &&
         a.result == b.result && a.left == b.left && a.sound == b.sound;
}

std::string describe(const outcome& o) {
  return (o.overflowed ? "overflow_error" : "") + std::string(" truth ") +
         (o.truth ? "true" : "false") + ", result " + describe(o.result) +
         ", left after " + describe(o.left) + (o.sound ? "" : ", UNSOUND");
}

struct differentialcase {
  char op;
  operand a, b;
  bool leftsigned, throwover;
};

// Signed with the signs differing, the magnitudes subtract and the result
// cannot overflow.  Otherwise they add under the left sign, and a sum of
// `length` + 1 digits throws or wraps, the left operand then holding 1.
outcome expectedsum(const operand& a, const operand& b, bool leftsigned,
                    bool throwover) {
  const std::size_t length = a.digits.size();
  outcome out;
  out.left = a;
  bigint sum;
  if (leftsigned && a.negative != b.negative) {
    mpz_add(sum.get(), fromdigits(a.digits, a.negative).get(),
            fromdigits(b.digits, b.negative).get());
    out.result = {todigits(sum, length), mpz_sgn(sum.get()) < 0};
    return out;
  }
  mpz_add(sum.get(), magnitude(a).get(), magnitude(b).get());
  const bool overflow = mpz_cmp(sum.get(), powerof10(length).get()) >= 0;
  if (overflow && throwover) {
    out.overflowed = true;
    return out;
  }
  out.result = {todigits(sum, length), a.negative};
  if (overflow) {
    out.left.digits.assign(length, 0);
    out.left.digits[0] = 1;
    out.left.negative = leftsigned ? false : a.negative;
  }
  return out;
}

bool greater(const operand& a, const operand& b) {
  if (a.negative != b.negative) {
    return !a.negative;
  }
  const int order = mpz_cmp(magnitude(a).get(), magnitude(b).get());
  return a.negative ? order < 0 : order > 0;
}

// Equal means equal lengths, values and sign flags (so 0 differs from -0).
bool equal(const operand& a, const operand& b) {
  return a.digits.size() == b.digits.size() && a.negative == b.negative &&
         mpz_cmp(magnitude(a).get(), magnitude(b).get()) == 0;
}

outcome expected(const differentialcase& c) {
  switch (c.op) {
  case '+':
    return expectedsum(c.a, c.b, c.leftsigned, c.throwover);
  case '-': {
    operand negated = c.b;
    negated.negative = !negated.negative;
    return expectedsum(c.a, negated, true, c.throwover);
  }
  case '*': {
    outcome out;
    out.left = c.a;
    bigint product;
    mpz_mul(product.get(), magnitude(c.a).get(), magnitude(c.b).get());
    out.result = {todigits(product, c.a.digits.size()),
                  c.leftsigned && c.a.negative != c.b.negative};
    return out;
  }
  default: {
    outcome out;
    out.left = c.a;
    out.truth = c.op == '='   ? equal(c.a, c.b)
                : c.op == '>' ? greater(c.a, c.b)
                              : !greater(c.a, c.b) && !equal(c.a, c.b);
    return out;
  }
  }
}

outcome actual(const differentialcase& c) {
  fixedint left = tofixedint(c.a);
  left.numsigned = c.leftsigned;
  left.throwwhenover = c.throwover;
  const fixedint right = tofixedint(c.b);
  outcome out;
  try {
    if (c.op == '=') {
      out.truth = left == right;
    } else if (c.op == '<') {
      out.truth = left < right;
    } else if (c.op == '>') {
      out.truth = left > right;
    } else {
      const fixedint result = apply(c.op, left, right);
      out.result = {result.digits, result.isneg};
      out.sound = sound(result, c.a.digits.size());
    }
  } catch (const std::overflow_error&) {
    out.overflowed = true;
  }
  out.left = {left.digits, left.isneg};
  out.sound = out.sound && left.numsigned == c.leftsigned &&
              left.throwwhenover == c.throwover &&
              left.size == left.digits.size();
  return out;
}

class casegenerator {
public:
  explicit casegenerator(std::uint64_t seed) : rng_(seed) {}

  differentialcase next() {
    differentialcase c;
    c.op = "+-*=<>"[below(6)];
    const std::size_t length = 1 + below(60);
    c.a = make(length);
    if (below(6) == 0) {
      c.b = c.a; // equal magnitudes: zero sums, equality
      c.b.negative = coin();
    } else {
      const bool relation = c.op == '=' || c.op == '<' || c.op == '>';
      c.b = make(relation && below(4) == 0 ? below(61) : length);
    }
    c.leftsigned = coin();
    c.throwover = coin();
    return c;
  }

private:
  std::size_t below(std::size_t n) { return rng_() % n; }
  bool coin() { return (rng_() & 1) != 0; }

  // Zeros (negative ones too), all nines, powers of ten (long carry and
  // borrow chains) and random digits up to a random top place.
  operand make(std::size_t length) {
    operand o;
    o.digits.assign(length, 0);
    o.negative = coin();
    switch (below(5)) {
    case 0:
      break;
    case 1:
      std::fill(o.digits.begin(), o.digits.end(), 9);
      break;
    case 2:
      if (length > 0) {
        o.digits[below(length)] = 1;
      }
      break;
    default:
      for (std::size_t place = below(length + 1); place-- > 0;) {
        o.digits[place] = static_cast<signed char>(below(10));
      }
    }
    return o;
  }

  std::mt19937_64 rng_;
};

// VELDRA_DIFF_CASES=100000 runs a longer comparison.
std::size_t differentialcases() {
  const char* text = std::getenv("VELDRA_DIFF_CASES");
  return text != nullptr ? std::strtoull(text, nullptr, 10) : 20000;
}

TEST(FixedintDifferential, AgreesWithGmp) {
  casegenerator generator(20261208);
  const std::size_t cases = differentialcases();
  int failures = 0;
  for (std::size_t index = 0; index < cases && failures < 10; ++index) {
    if (index % 1024 == 0) {
      tracecapture::reset();
    }
    const differentialcase c = generator.next();
    const outcome want = expected(c);
    const outcome got = actual(c);
    if (!(want == got)) {
      ++failures;
      ADD_FAILURE() << "case " << index << ": " << describe(c.a) << " " << c.op
                    << " " << describe(c.b)
                    << (c.leftsigned ? "" : ", left unsigned")
                    << (c.throwover ? ", left throws on overflow" : "")
                    << "\n  expected " << describe(want) << "\n  got      "
                    << describe(got);
    }
  }
  tracecapture::reset();
}

} // namespace
