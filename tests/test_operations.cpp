// The operations beyond + - *: fixedint division, remainder, power, shifts,
// steps and the remaining comparisons, fixed-point addition, subtraction and
// comparison, and stream output.  Randomized cases (fixed seeds) are checked
// against GMP.
#include "support/gmpref.hpp"
#include "support/tracecapture.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

using VELDRA::fixedfloat;
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

class setupfirst : public testing::Environment {
  void SetUp() override { VELDRA::setup(); }
};
const testing::Environment* const environment =
    testing::AddGlobalTestEnvironment(new setupfirst);

template <class E, class F> std::string whatof(F action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "nothing was thrown";
  return {};
}

// `length` digits, a random number of them significant, random sign (a zero
// may come out as -0).
digitvector randomdigits(std::mt19937_64& rng, std::size_t length) {
  digitvector d(length, 0);
  const std::size_t used = rng() % (length + 1);
  for (std::size_t place = 0; place < used; ++place) {
    d[place] = static_cast<signed char>(rng() % 10);
  }
  if (used > 0 && rng() % 2 == 0) {
    d[used - 1] = static_cast<signed char>(1 + rng() % 9);
  }
  return d;
}

fixedint randomint(std::mt19937_64& rng, std::size_t length) {
  fixedint n(length);
  n.digits = randomdigits(rng, length);
  n.isneg = rng() % 2 == 0;
  return n;
}

fixedint intof(std::uint64_t length, std::int64_t value) {
  return fixedint(length, value);
}

bigint valueof(const fixedint& n) { return fromdigits(n.digits, n.isneg); }

bool iszero(const bigint& v) { return mpz_sgn(v.get()) == 0; }

bigint parse(const char* text) {
  bigint out;
  mpz_set_str(out.get(), text, 10);
  return out;
}

// `n` holds `expected` wrapped to its length, negative only when non-zero,
// with the default flags of a fresh result.
void expectwrapped(const fixedint& n, const bigint& expected) {
  const digitvector magnitude = todigits(expected, n.size);
  EXPECT_EQ(n.digits, magnitude) << expected.str();
  const bool zero = magnitude == digitvector(n.size, 0);
  EXPECT_EQ(n.isneg, mpz_sgn(expected.get()) < 0 && !zero) << expected.str();
  EXPECT_TRUE(n.numsigned && !n.throwwhenover);
}

TEST(FixedintDivision, MatchesGmpAndTheIdentity) {
  std::mt19937_64 rng(81);
  for (int round = 0; round < 3000; ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + rng() % (round % 10 == 0 ? 300 : 40);
    const fixedint a = randomint(rng, length);
    const fixedint b = randomint(rng, length);
    if (iszero(valueof(b))) {
      continue;
    }
    SCOPED_TRACE(a.asstring() + " / " + b.asstring());
    bigint q;
    bigint r;
    mpz_tdiv_qr(q.get(), r.get(), valueof(a).get(), valueof(b).get());
    const fixedint quotient = a / b;
    const fixedint remainder = a % b;
    expectwrapped(quotient, q);
    expectwrapped(remainder, r);
    if (!(a.isneg && iszero(valueof(a)))) {
      EXPECT_TRUE(quotient * b + remainder == a);
    }
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
    for (const bool negative : {false, true}) {
      fixedint a(40);
      fixedint b(40);
      a.digits = todigits(parse(dividend), 40);
      b.digits = todigits(parse(divisor), 40);
      a.isneg = negative;
      bigint q;
      bigint r;
      mpz_tdiv_qr(q.get(), r.get(), valueof(a).get(), valueof(b).get());
      expectwrapped(a / b, q);
      expectwrapped(a % b, r);
    }
  }
}

TEST(FixedintDivision, SignsFlagsAndFailures) {
  EXPECT_EQ((intof(3, -7) / intof(3, 2)).asstring(), "-3");
  EXPECT_EQ((intof(3, -7) % intof(3, 2)).asstring(), "-1");
  EXPECT_EQ((intof(3, 7) / intof(3, -2)).asstring(), "-3");
  EXPECT_EQ((intof(3, 7) % intof(3, -2)).asstring(), "1");
  EXPECT_EQ((intof(3, -6) % intof(3, 3)).asstring(), "0");
  EXPECT_EQ((intof(3, -1) / intof(3, 5)).asstring(), "0");
  fixedint unsignedleft = intof(3, -7);
  unsignedleft.numsigned = false;
  unsignedleft.throwwhenover = true;
  const fixedint q = unsignedleft / intof(3, 2);
  EXPECT_EQ(q.asstring(), "3");
  EXPECT_TRUE(q.numsigned && !q.throwwhenover);
  EXPECT_EQ((unsignedleft % intof(3, -2)).asstring(), "1");

  fixedint negzero(3);
  negzero.flipsign();
  fixedint malformed = intof(3, 5);
  malformed.digits[1] = 12;
  const fixedint a = intof(3, 5);
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
      whatof<std::length_error>([&] { static_cast<void>(a % intof(4, 1)); }),
      "Int sizes are not equal!");
  // No result is made: only the right operands come and go.
  EXPECT_EQ(cap.lines(), concat({{deleted},
                                 creationlines(3),
                                 {deleted},
                                 {deleted},
                                 creationlines(4),
                                 {deleted}}));
}

TEST(FixedintPower, MatchesRepeatedMultiplicationAndGmp) {
  std::mt19937_64 rng(82);
  for (int round = 0; round < 300; ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + rng() % 30;
    const fixedint base = randomint(rng, length);
    fixedint product = intof(length, 1);
    for (std::int64_t e = 0; e <= 12; ++e) {
      SCOPED_TRACE(base.asstring() + " ^ " + std::to_string(e));
      const fixedint power = base ^ intof(3, e);
      EXPECT_EQ(power.digits, product.digits);
      const bool zero = product.digits == digitvector(length, 0);
      EXPECT_EQ(power.isneg, product.isneg && !zero);
      product = product * base;
    }
  }
  for (int round = 0; round < 200; ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + rng() % 60;
    const fixedint base = randomint(rng, length);
    const fixedint exponent = randomint(rng, 1 + rng() % 40);
    bigint expected;
    bigint magnitude = fromdigits(base.digits);
    mpz_powm(expected.get(), magnitude.get(), fromdigits(exponent.digits).get(),
             powerof10(length).get());
    if (base.isneg && exponent.digits[0] % 2 != 0) {
      mpz_neg(expected.get(), expected.get());
    }
    fixedint positive = exponent;
    positive.isneg = false;
    expectwrapped(base ^ positive, expected);
  }
}

TEST(FixedintPower, EdgesAndHugeExponents) {
  EXPECT_EQ((fixedint(3) ^ fixedint(2)).asstring(), "1");
  EXPECT_EQ((intof(3, -5) ^ fixedint(0)).asstring(), "1");
  fixedint negzero(4);
  negzero.flipsign();
  EXPECT_EQ((intof(3, -5) ^ negzero).asstring(), "1");
  EXPECT_EQ((intof(3, -5) ^ intof(1, 3)).asstring(), "-125");
  EXPECT_EQ((intof(2, -10) ^ intof(1, 3)).asstring(), "0");
  fixedint unsignedbase = intof(3, -5);
  unsignedbase.numsigned = false;
  EXPECT_EQ((unsignedbase ^ intof(1, 3)).asstring(), "125");
  EXPECT_EQ(whatof<std::domain_error>(
                [] { static_cast<void>(intof(3, 2) ^ intof(3, -1)); }),
            "Negative exponent!");

  // 3 ^ (10^1000 - 1) at 100 digits: the work follows the exponent's
  // length, so this is quick.
  fixedint exponent(1000);
  exponent.digits.assign(1000, 9);
  const fixedint power = intof(100, 3) ^ exponent;
  bigint expected;
  mpz_powm(expected.get(), bigint(3).get(), fromdigits(exponent.digits).get(),
           powerof10(100).get());
  expectwrapped(power, expected);
}

TEST(FixedintShift, MatchesGmpAndKeepsTheSign) {
  std::mt19937_64 rng(83);
  for (int round = 0; round < 2000; ++round) {
    tracecapture::reset();
    const std::size_t length = 1 + rng() % 40;
    const fixedint a = randomint(rng, length);
    const std::uint64_t places = rng() % (length + 3);
    const fixedint count =
        intof(2 + rng() % 25, static_cast<std::int64_t>(places));
    bigint up;
    mpz_mul(up.get(), fromdigits(a.digits).get(), powerof10(places).get());
    bigint down;
    mpz_tdiv_q(down.get(), fromdigits(a.digits).get(), powerof10(places).get());
    const fixedint left = a << count;
    const fixedint right = a >> count;
    EXPECT_EQ(left.digits, todigits(up, length));
    EXPECT_EQ(right.digits, todigits(down, length));
    EXPECT_EQ(left.isneg, a.isneg);
    EXPECT_EQ(right.isneg, a.isneg);
  }
  fixedint huge(30);
  huge.digits[29] = 1;
  EXPECT_EQ((intof(5, 123) << huge).asstring(), "0");
  EXPECT_EQ((intof(5, -7) >> intof(1, 1)).asstring(), "-0");
  fixedint negzero(1);
  negzero.flipsign();
  EXPECT_EQ((intof(5, 123) >> negzero).asstring(), "123");
  EXPECT_EQ(whatof<std::domain_error>(
                [] { static_cast<void>(intof(5, 123) << intof(1, -1)); }),
            "Negative shift count!");
}

TEST(FixedintStep, SignedAndUnsignedAgainstInt64) {
  std::mt19937_64 rng(84);
  for (int round = 0; round < 4000; ++round) {
    tracecapture::reset();
    const std::uint64_t length = 1 + rng() % 6;
    std::int64_t limit = 1;
    for (std::uint64_t i = 0; i < length; ++i) {
      limit *= 10;
    }
    const std::int64_t picks[] = {
        0,         1,         2,
        limit - 1, limit - 2, static_cast<std::int64_t>(rng() % limit)};
    const std::int64_t magnitude = picks[rng() % 6];
    const bool wasneg = rng() % 2 == 0;
    const bool up = rng() % 2 == 0;
    const bool numsigned = rng() % 3 != 0;
    fixedint n = intof(length, magnitude);
    n.isneg = wasneg;
    n.numsigned = numsigned;
    n.throwwhenover = rng() % 2 == 0;
    SCOPED_TRACE(n.asstring() + (up ? " ++" : " --") +
                 (numsigned ? "" : " unsigned"));
    // Signed the value moves, unsigned the magnitude.
    const std::int64_t delta = up ? 1 : -1;
    const std::int64_t after =
        (numsigned && wasneg ? -magnitude : magnitude) + delta;
    const bool over =
        numsigned ? std::abs(after) >= limit : after >= limit || after < 0;
    if (over && n.throwwhenover) {
      EXPECT_EQ(whatof<std::overflow_error>(
                    [&] { static_cast<void>(up ? ++n : --n); }),
                "Overflow occured.");
      EXPECT_EQ(n.digits, intof(length, magnitude).digits);
      EXPECT_EQ(n.isneg, wasneg);
      continue;
    }
    const std::int64_t wrapped =
        numsigned ? std::abs(after) % limit : (after + limit) % limit;
    const fixedint& result = up ? n++ : n--;
    EXPECT_EQ(&result, &n);
    EXPECT_EQ(n.digits, intof(length, wrapped).digits);
    EXPECT_EQ(n.isneg, (numsigned ? after < 0 : wasneg) && wrapped != 0);
  }
}

TEST(FixedintStep, SignDetailsFarCarriesAndNoTrace) {
  fixedint negzero(3);
  negzero.flipsign();
  EXPECT_EQ((++fixedint(negzero)).asstring(), "1");
  EXPECT_EQ((--fixedint(negzero)).asstring(), "-1");
  EXPECT_EQ((++intof(3, -1)).asstring(), "0");
  fixedint far(4096);
  far.digits.assign(4096, 9);
  far.digits[4095] = 0;
  tracecapture cap;
  ++far;
  EXPECT_EQ(far.asstring(), "1" + std::string(4095, '0'));
  far--;
  EXPECT_EQ(far.asstring(), std::string(4095, '9'));
  EXPECT_TRUE(cap.lines().empty());
  fixedint malformed = intof(3, 99);
  malformed.digits[2] = -4;
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
  EXPECT_TRUE(intof(2, -3) <= intof(2, -3));
  EXPECT_FALSE(intof(2, 4) <= intof(2, -3));
  EXPECT_TRUE(intof(2, 5) <= intof(4, 5));  // < holds across lengths
  EXPECT_FALSE(intof(2, 5) >= intof(4, 5)); // as neither > nor == does
  const fixedint a = intof(2, 7);
  const fixedint b = intof(2, 7);
  tracecapture cap;
  EXPECT_TRUE(a >= b); // the argument's copy, then > and == each copy it
  EXPECT_EQ(cap.lines(), lines(3, "Deleted fixedint object."));
}

// A fixed-point number of `length` digits whose scaled magnitude is `d`.
fixedfloat floatof(std::uint64_t length, const digitvector& d, bool negative) {
  fixedfloat f(length);
  f.digits.digits = d;
  f.isneg = negative;
  return f;
}

bigint scaledvalue(const fixedfloat& f) {
  return fromdigits(f.digits.digits, f.isneg);
}

TEST(FixedfloatAddition, MatchesGmp) {
  std::mt19937_64 rng(85);
  for (int round = 0; round < 3000; ++round) {
    tracecapture::reset();
    const std::size_t length = 2 * (1 + rng() % 30);
    const fixedfloat a = floatof(length, randomdigits(rng, length), rng() % 2);
    const fixedfloat b = floatof(length, randomdigits(rng, length), rng() % 2);
    fixedfloat left = a;
    left.digits.throwwhenover = rng() % 2 == 0;
    const bool add = rng() % 2 == 0;
    bigint exact;
    (add ? mpz_add : mpz_sub)(exact.get(), scaledvalue(a).get(),
                              scaledvalue(b).get());
    SCOPED_TRACE(a.asstring() + (add ? " + " : " - ") + b.asstring());
    bigint magnitude;
    mpz_abs(magnitude.get(), exact.get());
    if (left.digits.throwwhenover &&
        mpz_cmp(magnitude.get(), powerof10(length).get()) >= 0) {
      EXPECT_EQ(whatof<std::overflow_error>(
                    [&] { static_cast<void>(add ? left + b : left - b); }),
                "Overflow occured.");
      continue;
    }
    const fixedfloat result = add ? left + b : left - b;
    EXPECT_EQ(result.digits.digits, todigits(exact, length));
    const bool zero = result.digits.digits == digitvector(length, 0);
    EXPECT_EQ(result.isneg, mpz_sgn(exact.get()) < 0 && !zero);
    EXPECT_FALSE(result.digits.isneg || result.digits.throwwhenover);
  }
}

TEST(FixedfloatAddition, EdgesAndFailuresLogNothing) {
  EXPECT_EQ((fixedfloat(8, 78.9f) + fixedfloat(8, -0.123f)).asstring(),
            "78.777");
  EXPECT_EQ((fixedfloat(4, 60.5f) + fixedfloat(4, 50.5f)).asstring(), "11.0");
  EXPECT_EQ((fixedfloat(4, -1.5f) - fixedfloat(4, -1.5f)).asstring(), "0.0");
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
            (lines{"Deleting fixedfloat object!", "Deleted fixedint object.",
                   "Deleting fixedfloat object!", "Deleted fixedint object."}));
}

TEST(FixedfloatCompare, ByValueAcrossLengths) {
  std::mt19937_64 rng(86);
  const signed char alphabet[] = {0, 0, 1, 9};
  for (int round = 0; round < 3000; ++round) {
    tracecapture::reset();
    // Few, repeated digits so that equal values at different lengths occur.
    const std::uint64_t lengths[] = {2 + 2 * (rng() % 4), 2 + 2 * (rng() % 4)};
    fixedfloat numbers[2] = {fixedfloat(lengths[0]), fixedfloat(lengths[1])};
    const std::uint64_t shared = std::min(lengths[0], lengths[1]) / 2;
    for (fixedfloat& f : numbers) {
      const std::uint64_t h = f.size / 2;
      for (std::uint64_t place = h - shared; place < h + shared; ++place) {
        f.digits.digits[place] = alphabet[rng() % 4];
      }
      f.isneg = rng() % 2 == 0;
    }
    const fixedfloat& a = numbers[0];
    const fixedfloat& b = numbers[1];
    bigint left;
    bigint right;
    mpz_mul(left.get(), scaledvalue(a).get(), powerof10(b.size / 2).get());
    mpz_mul(right.get(), scaledvalue(b).get(), powerof10(a.size / 2).get());
    const int order = mpz_cmp(left.get(), right.get());
    SCOPED_TRACE(a.asstring() + " vs " + b.asstring());
    EXPECT_EQ(a == b, order == 0);
    EXPECT_EQ(a != b, order != 0);
    EXPECT_EQ(a > b, order > 0);
    EXPECT_EQ(a < b, order < 0);
    EXPECT_EQ(a >= b, order >= 0);
    EXPECT_EQ(a <= b, order <= 0);
  }
}

TEST(FixedfloatMembers, CopiesConstructionAndStreams) {
  fixedfloat f(8, -2.5f);
  f.floatsigned = false;
  f.digits.throwwhenover = true;
  tracecapture cap;
  { fixedfloat probe(8); }
  lines made = cap.lines();
  made.resize(made.size() - 2); // without the two destruction lines
  tracecapture again;
  const fixedfloat copy = f.getcopy();
  EXPECT_EQ(again.lines(), made);
  EXPECT_EQ(copy.asstring(), "-2.5");
  EXPECT_TRUE(!copy.floatsigned && copy.digits.throwwhenover);
  const fixedfloat positive = f.abs();
  EXPECT_EQ(positive.asstring(), "2.5");
  EXPECT_EQ(f.asstring(), "-2.5");
  f.flipsign();
  EXPECT_EQ(f.asstring(), "2.5");

  tracecapture failing;
  EXPECT_THROW(fixedfloat(8, 3.14159f), std::length_error);
  for (const std::string& line : failing.lines()) {
    EXPECT_NE(line, "Deleting fixedfloat object!");
  }

  std::ostringstream out;
  out << fixedint(4, -42) << ' ' << fixedfloat(8, 0.5f);
  EXPECT_EQ(out.str(), "-42 0.5");
}

} // namespace
