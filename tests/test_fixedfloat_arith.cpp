// Fixed-point division, rounding and re-scaling against GMP, with the trace
// each writes, and the nearest double of both classes against strtod.
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/roundref.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using VELDRA::roundmode;
using namespace veldratest;

fixedfloat floatof(std::uint64_t length, const digitvector& d, bool negative) {
  fixedfloat f(length);
  f.digits.digits = d;
  f.isneg = negative;
  return f;
}

// `f` holds the signed scaled value `value` wrapped to its length, a zero
// never negative.
void expectscaled(const fixedfloat& f, const bigint& value) {
  const digitvector magnitude = todigits(value, f.size);
  const bool zero = magnitude == digitvector(f.size, 0);
  EXPECT_EQ(placesof(f.digits.digits, f.isneg),
            placesof(magnitude, mpz_sgn(value.get()) < 0 && !zero));
  EXPECT_FALSE(f.digits.isneg);
}

TEST(FixedfloatDivision, MatchesGmp) {
  const testseed seed(101);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    // Now and then up to 120 places: several limbs of the kernel.
    const std::size_t length = 2 * (1 + source.below(round % 8 ? 12 : 60));
    const fixedfloat a = floatof(length, source.digits(length), source.coin());
    const fixedfloat b = floatof(length, source.digits(length), source.coin());
    if (b.digits.digits == digitvector(length, 0)) {
      continue;
    }
    SCOPED_TRACE(a.asstring() + " / " + b.asstring());
    bigint exact;
    mpz_mul(exact.get(), floatstate(a).signedscaled().get(),
            powerof10(length / 2).get());
    mpz_tdiv_q(exact.get(), exact.get(), floatstate(b).signedscaled().get());
    expectscaled(a / b, exact);
  }
}

// Only the result's creation lines, and the right operand's copy going; a
// failure makes nothing.
TEST(FixedfloatDivision, TraceFailuresAndSign) {
  fixedfloat a(8, "-7.5");
  const fixedfloat b(8, "2");
  tracecapture cap;
  {
    const fixedfloat q = a / b;
    EXPECT_EQ(cap.lines(),
              concat({floatcreationlines(8), floatdestructionlines()}));
    EXPECT_EQ(q.asstring(), "-3.75");
  }
  fixedfloat malformed(8, "1");
  malformed.digits.digits[7] = 10;
  const fixedfloat shorter(4, "2");
  const fixedfloat zero(8);
  const fixedfloat negativezero(8, "-0");
  tracecapture::reset();
  EXPECT_EQ(whatof<std::length_error>([&] { static_cast<void>(a / shorter); }),
            "Size is not equal!");
  EXPECT_EQ(whatof<std::domain_error>([&] { static_cast<void>(a / zero); }),
            "Division by zero!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a / negativezero); }),
      "Division by zero!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a / malformed); }),
      "Malformed digits!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(malformed / b); }),
      "Malformed digits!");
  // Nothing but the copies of the right operands going.
  const auto copies = floatdestructionlines();
  EXPECT_EQ(cap.lines(), concat({copies, copies, copies, copies, copies}));
  a.floatsigned = false; // as for *: the magnitude only
  EXPECT_EQ((a / b).asstring(), "3.75");
  EXPECT_EQ((fixedfloat(4, "50") / fixedfloat(4, "0.5")).asstring(), "0.0");
}

TEST(FixedfloatRound, EveryModeMatchesGmp) {
  const testseed seed(102);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 2 * (1 + source.below(10));
    const fixedfloat a = floatof(length, source.digits(length), source.coin());
    const std::uint64_t places = source.below(length / 2 + 2);
    const auto mode = static_cast<roundmode>(source.below(7));
    SCOPED_TRACE(a.asstring() + " to " + std::to_string(places) + " mode " +
                 std::to_string(static_cast<int>(mode)));
    const unsigned long k = places < length / 2 ? length / 2 - places : 0;
    expectscaled(a.round(places, mode),
                 roundedreference(floatstate(a).signedscaled(), k, mode));
  }
}

// The table in veldra.hpp.
TEST(FixedfloatRound, TiesAndNonTiesOfBothSigns) {
  const char* values[] = {"2.5", "2.6", "-2.5", "-2.4", "3.5"};
  const struct {
    roundmode mode;
    const char* expected[5];
  } table[] = {{roundmode::down, {"2.0", "2.0", "-2.0", "-2.0", "3.0"}},
               {roundmode::up, {"3.0", "3.0", "-3.0", "-3.0", "4.0"}},
               {roundmode::halfup, {"3.0", "3.0", "-3.0", "-2.0", "4.0"}},
               {roundmode::halfdown, {"2.0", "3.0", "-2.0", "-2.0", "3.0"}},
               {roundmode::halfeven, {"2.0", "3.0", "-2.0", "-2.0", "4.0"}},
               {roundmode::ceiling, {"3.0", "3.0", "-2.0", "-2.0", "4.0"}},
               {roundmode::floor, {"2.0", "2.0", "-3.0", "-3.0", "3.0"}}};
  for (const auto& row : table) {
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(fixedfloat(8, values[i]).round(0, row.mode).asstring(),
                row.expected[i]);
    }
  }
}

TEST(FixedfloatRound, CarriesTraceAndFailures) {
  tracecapture cap;
  EXPECT_EQ(fixedfloat(8, "9.995").round(2, roundmode::halfup).asstring(),
            "10.0");
  EXPECT_EQ(fixedfloat(8, "-9999.5").round(0, roundmode::up).asstring(), "0.0");
  EXPECT_EQ(fixedfloat(8, "-0.004").round(2, roundmode::down).asstring(),
            "0.0");
  fixedfloat a(8, "-12.3456");
  a.floatsigned = false;
  a.digits.throwwhenover = true;
  tracecapture::reset();
  {
    // An equal copy, with the flags of a fresh number.
    const fixedfloat copy = a.round(4, roundmode::up);
    EXPECT_EQ(cap.lines(), floatcreationlines(8));
    EXPECT_EQ(copy.asstring(), "-12.3456");
    EXPECT_TRUE(copy.floatsigned && !copy.digits.throwwhenover);
  }
  fixedfloat top(8, "9999.9");
  top.digits.throwwhenover = true;
  tracecapture::reset();
  EXPECT_EQ(whatof<std::overflow_error>([&] { top.round(0, roundmode::up); }),
            "Overflow occured.");
  EXPECT_EQ(whatof<std::invalid_argument>(
                [&] { a.round(0, static_cast<roundmode>(7)); }),
            "Unknown rounding mode!");
  a.digits.digits[0] = -1;
  EXPECT_EQ(whatof<std::domain_error>([&] { a.round(0, roundmode::down); }),
            "Malformed digits!");
  EXPECT_TRUE(cap.lines().empty());
}

TEST(FixedfloatResize, KeepsTheValueWhereItFits) {
  const testseed seed(103);
  operandsource source(seed.value());
  for (int round = 0; round < 2000 && !HasFailure(); ++round) {
    tracecapture cap;
    const std::size_t length = 2 * source.below(12);
    const std::size_t target = 2 * source.below(12);
    fixedfloat f = floatof(length, source.digits(length), source.coin());
    bigint expected = floatstate(f).signedscaled();
    if (target >= length) {
      mpz_mul(expected.get(), expected.get(),
              powerof10((target - length) / 2).get());
    } else {
      mpz_tdiv_q(expected.get(), expected.get(),
                 powerof10((length - target) / 2).get());
    }
    SCOPED_TRACE(f.asstring() + " to " + std::to_string(target));
    tracecapture::reset();
    f.resize(target);
    EXPECT_EQ(cap.lines(), resizelines(target));
    EXPECT_EQ(f.size, target);
    EXPECT_EQ(f.digits.size, target);
    expectscaled(f, expected);
  }
}

TEST(FixedfloatResize, BothWaysOddLengthsAndMixedLengths) {
  fixedfloat f(8, "-12.3456");
  f.resize(4);
  EXPECT_EQ(f.asstring(), "-12.34");
  f.resize(2);
  EXPECT_EQ(f.asstring(), "-2.3");
  f.resize(12);
  EXPECT_EQ(f.asstring(), "-2.3");
  tracecapture cap;
  EXPECT_EQ(whatof<std::runtime_error>([&] { f.resize(7); }),
            "length should be able to be divided by 2!");
  EXPECT_EQ(f.asstring(), "-2.3");
  EXPECT_EQ(f.size, 12u);
  f.resize(0);
  EXPECT_EQ(f.asstring(), ".0"); // and not negative
  fixedfloat a(4, "1.5");
  a.resize(8);
  EXPECT_EQ((a + fixedfloat(8, "2.25")).asstring(), "3.75");
}

// strtod of the text is the reference; the test runs in the "C" locale.
void expectnearest(double value, const std::string& text) {
  const double expected = std::strtod(text.c_str(), nullptr);
  EXPECT_EQ(value, expected) << text;
  EXPECT_EQ(std::signbit(value), std::signbit(expected)) << text;
}

TEST(Asdouble, MatchesStrtodOfAsstring) {
  const testseed seed(104);
  operandsource source(seed.value());
  tracecapture cap;
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    // Now and then past the double range, both ways.
    const std::size_t length = 2 + 2 * source.below(round % 10 ? 20 : 400);
    const fixedint n = withdigits(source.digits(length), source.coin());
    const fixedfloat f = floatof(length, source.digits(length), source.coin());
    expectnearest(n.asdouble(), n.asstring());
    expectnearest(f.asdouble(), f.asstring());
    tracecapture::reset();
  }
  const fixedint n(17, "9007199254740993"); // 2^53 + 1: a tie, to even
  EXPECT_EQ(n.asdouble(), 9007199254740992.0);
  EXPECT_EQ(fixedfloat(8, "0.1").asdouble(), 0.1);
  EXPECT_EQ(fixedint(400, "-" + std::string(399, '9')).asdouble(), -HUGE_VAL);
  EXPECT_EQ(fixedfloat(620, "0." + std::string(309, '0') + "1").asdouble(),
            1e-310);
  EXPECT_EQ(fixedfloat(900, "0." + std::string(420, '0') + "1").asdouble(),
            0.0);
  EXPECT_TRUE(std::signbit(fixedfloat(4, "-0").asdouble()));
  fixedint malformed(2, 5);
  malformed.digits[1] = 11;
  tracecapture::reset();
  EXPECT_EQ(whatof<std::domain_error>([&] { malformed.asdouble(); }),
            "Malformed digits!");
  EXPECT_TRUE(cap.lines().empty());
}

} // namespace
