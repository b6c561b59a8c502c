// The operations beyond + - *: fixedint / % ^ << >> ++ -- >= <=, and
// fixedfloat + - and comparisons, checked against GMP on random operands
// (fixed seeds, or VELDRA_TEST_SEED), with the edges and failures random
// operands do not reach.
#include "support/floatmodel.hpp"
#include "support/intmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldratest;

// `n` holds `value` wrapped to its length, negative only when non-zero, with
// the flags of a fresh result.
void expectwrapped(const fixedint& n, const bigint& value) {
  const digitvector magnitude = todigits(value, n.size);
  const bool zero = magnitude == digitvector(n.size, 0);
  EXPECT_EQ(placesof(n),
            placesof(magnitude, mpz_sgn(value.get()) < 0 && !zero));
  EXPECT_TRUE(n.numsigned && !n.throwwhenover);
}

bigint valueof(const fixedint& n) { return fromdigits(n.digits, n.isneg); }

TEST(FixedintDivision, MatchesGmp) {
  const testseed seed(81);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + source.below(round % 10 == 0 ? 300 : 40);
    const fixedint a = source.number(length);
    const fixedint b = source.number(length);
    if (mpz_sgn(valueof(b).get()) == 0) {
      continue;
    }
    SCOPED_TRACE(placesof(a) + " / " + placesof(b));
    expectwrapped(a / b, quotientof(intstate(a), intstate(b)));
    expectwrapped(a % b, remainderof(intstate(a), intstate(b)));
  }
}

// Dividends whose first estimated quotient limb is one too large, so the
// divisor must be added back.
TEST(FixedintDivision, RareQuotientCorrection) {
  const std::pair<const char*, const char*> cases[] = {
      {"1500000000000000000000000000", "500000000000000000999999999"},
      {"99009999999900990990099009000900090", "9000909090900090099"},
  };
  for (const auto& [dividend, divisor] : cases) {
    const bigint a(dividend);
    const bigint b(divisor);
    bigint q;
    bigint r;
    mpz_tdiv_qr(q.get(), r.get(), a.get(), b.get());
    expectwrapped(withdigits(todigits(a, 40)) / withdigits(todigits(b, 40)), q);
    expectwrapped(withdigits(todigits(a, 40)) % withdigits(todigits(b, 40)), r);
  }
}

TEST(FixedintDivision, UnsignedLeftAndFailures) {
  fixedint unsignedleft(3, -7);
  unsignedleft.numsigned = false;
  unsignedleft.throwwhenover = true;
  const fixedint q = unsignedleft / fixedint(3, 2);
  EXPECT_EQ(q.asstring(), "3");
  EXPECT_TRUE(q.numsigned && !q.throwwhenover);
  EXPECT_EQ((unsignedleft % fixedint(3, -2)).asstring(), "1");

  fixedint negzero(3);
  negzero.flipsign();
  const fixedint malformed = withdigits({5, 12, 0});
  const fixedint a(3, 5);
  tracecapture cap;
  EXPECT_EQ(whatof<std::domain_error>([&] { static_cast<void>(a / negzero); }),
            "Division by zero!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a % fixedint(3)); }),
      "Division by zero!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a / malformed); }),
      "Malformed digits!");
  EXPECT_EQ(
      whatof<std::length_error>([&] { static_cast<void>(a % fixedint(4, 1)); }),
      "Int sizes are not equal!");
  // No result is made: only the right operands come and go.
  EXPECT_EQ(cap.lines(), concat({deletions(1), creationlines(3), deletions(2),
                                 creationlines(4), deletions(1)}));
}

TEST(FixedintPower, MatchesGmp) {
  const testseed seed(82);
  operandsource source(seed.value());
  for (int round = 0; round < 600 && !HasFailure(); ++round) {
    tracecapture::reset();
    const fixedint base = source.number(1 + source.below(60));
    // Short exponents half of the time, to reach 0, 1 and small powers.
    fixedint exponent = source.number(1 + source.below(round % 2 ? 2 : 40));
    exponent.isneg = false;
    SCOPED_TRACE(placesof(base) + " ^ " + placesof(exponent));
    expectwrapped(base ^ exponent, powerof(intstate(base), intstate(exponent)));
  }
}

// Small exponents: the same number as multiplying k times, sign included,
// except that a power wrapped to zero is never -0.
TEST(FixedintPower, MatchesRepeatedMultiplication) {
  const testseed seed(83);
  operandsource source(seed.value());
  for (int round = 0; round < 200 && !HasFailure(); ++round) {
    tracecapture::reset();
    const fixedint base = source.number(1 + source.below(30));
    fixedint product(base.size, 1);
    for (std::int64_t k = 0; k < 12; ++k) {
      const fixedint power = base ^ fixedint(2, k);
      if (mpz_sgn(valueof(product).get()) == 0) {
        product.isneg = false;
      }
      EXPECT_EQ(placesof(power), placesof(product)) << placesof(base) << k;
      product = product * base;
    }
  }
}

TEST(FixedintPower, EdgesAndHugeExponents) {
  fixedint negzero(4);
  negzero.flipsign();
  EXPECT_EQ((fixedint(3, -5) ^ negzero).asstring(), "1");
  fixedint unsignedbase(3, -5);
  unsignedbase.numsigned = false;
  EXPECT_EQ((unsignedbase ^ fixedint(1, 3)).asstring(), "125");
  EXPECT_EQ(whatof<std::domain_error>(
                [] { static_cast<void>(fixedint(3, 2) ^ fixedint(3, -1)); }),
            "Negative exponent!");

  // 3 ^ (10^1000 - 1) at 100 digits: the work follows the exponent's
  // length, so this is quick.
  const fixedint three(100, 3);
  const fixedint exponent = withdigits(digitvector(1000, 9));
  expectwrapped(three ^ exponent, powerof(intstate(three), intstate(exponent)));
}

TEST(FixedintShift, MatchesGmpAndKeepsTheSign) {
  const testseed seed(83);
  operandsource source(seed.value());
  for (int round = 0; round < 2000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + source.below(40);
    const fixedint a = source.number(length);
    const std::uint64_t places = source.below(length + 3);
    const fixedint count(2 + source.below(25),
                         static_cast<std::int64_t>(places));
    SCOPED_TRACE(placesof(a) + " shifted " + std::to_string(places));
    EXPECT_EQ(placesof(a << count),
              placesof(shifted(a.digits, places, true), a.isneg));
    EXPECT_EQ(placesof(a >> count),
              placesof(shifted(a.digits, places, false), a.isneg));
  }
  fixedint huge(30);
  huge.digits[29] = 1;
  EXPECT_EQ((fixedint(5, 123) << huge).asstring(), "0");
  fixedint negzero(1);
  negzero.flipsign();
  EXPECT_EQ((fixedint(5, 123) >> negzero).asstring(), "123");
  EXPECT_EQ(whatof<std::domain_error>(
                [] { static_cast<void>(fixedint(5, 123) << fixedint(1, -1)); }),
            "Negative shift count!");
}

// Signed the value moves by one, unsigned the magnitude; past the length the
// step throws or wraps.
TEST(FixedintStep, SignedAndUnsignedMatchGmp) {
  const testseed seed(84);
  operandsource source(seed.value());
  for (int round = 0; round < 4000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::uint64_t length = 1 + source.below(6);
    std::int64_t limit = 1;
    for (std::uint64_t i = 0; i < length; ++i) {
      limit *= 10;
    }
    const std::int64_t picks[] = {0,
                                  1,
                                  2,
                                  limit - 1,
                                  limit - 2,
                                  static_cast<std::int64_t>(source.below(
                                      static_cast<std::size_t>(limit)))};
    const std::int64_t magnitude = picks[source.below(6)];
    const bool wasneg = source.coin();
    const bool up = source.coin();
    const bool numsigned = source.below(3) != 0;
    fixedint n(length, magnitude);
    n.isneg = wasneg;
    n.numsigned = numsigned;
    n.throwwhenover = source.coin();
    SCOPED_TRACE(n.asstring() + (up ? " ++" : " --") +
                 (numsigned ? "" : " unsigned"));
    const intoutcome expected = stepof(intstate(n), up);
    if (expected.overflow) {
      EXPECT_EQ(whatof<std::overflow_error>(
                    [&] { static_cast<void>(up ? ++n : --n); }),
                "Overflow occured.");
      EXPECT_EQ(placesof(n),
                placesof(fixedint(length, magnitude).digits, wasneg));
      continue;
    }
    const fixedint& result = up ? n++ : n--;
    EXPECT_EQ(&result, &n);
    EXPECT_EQ(placesof(n), placesof(expected.left.digits, expected.left.isneg));
  }
}

TEST(FixedintStep, FarCarriesLogNothingAndMalformedDigitsThrow) {
  fixedint far = withdigits(digitvector(4096, 9));
  far.digits[4095] = 0;
  tracecapture cap;
  ++far;
  EXPECT_EQ(far.asstring(), "1" + std::string(4095, '0'));
  far--;
  EXPECT_EQ(far.asstring(), std::string(4095, '9'));
  EXPECT_TRUE(cap.lines().empty());
  fixedint malformed = withdigits({9, 9, -4});
  EXPECT_EQ(whatof<std::domain_error>([&] { ++malformed; }),
            "Malformed digits!");
  EXPECT_EQ(malformed.digits, (digitvector{9, 9, -4}));
}

TEST(FixedintCompare, AtLeastAndAtMostRunTheirOperators) {
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
  EXPECT_EQ(cap.lines(), deletions(3));
}

// A fixed-point number of `length` places whose scaled magnitude is `d`.
fixedfloat floatof(std::uint64_t length, const digitvector& d, bool negative) {
  fixedfloat f(length);
  f.digits.digits = d;
  f.isneg = negative;
  return f;
}

TEST(FixedfloatAddition, MatchesGmp) {
  const testseed seed(85);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 2 * (1 + source.below(30));
    const fixedfloat a = floatof(length, source.digits(length), source.coin());
    const fixedfloat b = floatof(length, source.digits(length), source.coin());
    fixedfloat left = a;
    left.digits.throwwhenover = source.coin();
    const bool add = source.coin();
    SCOPED_TRACE(a.asstring() + (add ? " + " : " - ") + b.asstring());
    const floatoutcome expected =
        add ? fixedsumof(floatstate(left), floatstate(b))
            : fixeddifferenceof(floatstate(left), floatstate(b));
    if (expected.overflow) {
      EXPECT_EQ(whatof<std::overflow_error>(
                    [&] { static_cast<void>(add ? left + b : left - b); }),
                "Overflow occured.");
      continue;
    }
    const fixedfloat result = add ? left + b : left - b;
    EXPECT_EQ(placesof(result.digits.digits, result.isneg),
              placesof(todigits(expected.magnitude, length), expected.isneg));
    EXPECT_FALSE(result.digits.isneg || result.digits.throwwhenover);
  }
}

TEST(FixedfloatAddition, FailuresLogNothing) {
  const fixedfloat a(8, 1.0f);
  const fixedfloat b(4, 1.0f);
  fixedfloat big(4, 99.0f);
  big.digits.throwwhenover = true;
  tracecapture cap;
  EXPECT_EQ(whatof<std::length_error>([&] { static_cast<void>(a + b); }),
            "Size is not equal!");
  EXPECT_EQ(whatof<std::overflow_error>([&] { static_cast<void>(big + big); }),
            "Overflow occured.");
  // Only the two copies of the right operand are destroyed.
  EXPECT_EQ(cap.lines(),
            concat({floatdestructionlines(), floatdestructionlines()}));
}

TEST(FixedfloatCompare, ByValueAcrossLengths) {
  const testseed seed(86);
  operandsource source(seed.value());
  const signed char alphabet[] = {0, 0, 1, 9};
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    // Few, repeated digits, mostly around the point both numbers share, so
    // that equal values at different lengths occur.
    fixedfloat numbers[2] = {fixedfloat(2 + 2 * source.below(4)),
                             fixedfloat(2 + 2 * source.below(4))};
    const std::uint64_t shared = std::min(numbers[0].size, numbers[1].size) / 2;
    for (fixedfloat& f : numbers) {
      const std::uint64_t h = f.size / 2;
      const bool all = source.below(4) == 0;
      for (std::uint64_t place = 0; place < f.size; ++place) {
        if (all || (place + shared >= h && place < h + shared)) {
          f.digits.digits[place] = alphabet[source.below(4)];
        }
      }
      f.isneg = source.coin();
    }
    const fixedfloat& a = numbers[0];
    const fixedfloat& b = numbers[1];
    const int order = fixedorder(floatstate(a), floatstate(b));
    SCOPED_TRACE(a.asstring() + " vs " + b.asstring());
    EXPECT_EQ(a == b, order == 0);
    EXPECT_EQ(a != b, order != 0);
    EXPECT_EQ(a > b, order > 0);
    EXPECT_EQ(a < b, order < 0);
    EXPECT_EQ(a >= b, order >= 0);
    EXPECT_EQ(a <= b, order <= 0);
  }
}

} // namespace
