// fixedfloat storage: made by length, from fixedint, float and its parts,
// copied, written as text and as a double, resized, and the trace of each.
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldratest;

TEST(FixedfloatLifecycle, ConstructionCopyAndDestructionLines) {
  tracecapture cap;
  {
    const fixedfloat number(8);
    EXPECT_EQ(cap.lines(), floatcreationlines(8));
    expectwellformed(number, 8);
    EXPECT_EQ(number.asstring(), "0.0");
    tracecapture::reset();
    const fixedfloat copy(number); // logs nothing until it goes
    EXPECT_TRUE(cap.lines().empty());
  }
  EXPECT_EQ(cap.lines(), floatsgone(2)); // the copy, then the number
  // An odd length fails after the init line: the digit storage goes, and
  // no fixedfloat came into being.
  tracecapture::reset();
  EXPECT_EQ(whatof<std::runtime_error>([] { fixedfloat number(7); }),
            "length should be able to be divided by 2!");
  EXPECT_EQ(cap.lines(), concat({creationlines(0),
                                 {"Creating new fixedfloat object!",
                                  "Init called on fixedfloat with length: 7"},
                                 numbersgone()}));
  // Nor does one whose value the assignment refuses.
  tracecapture::reset();
  EXPECT_THROW(fixedfloat(8, 3.14159f), std::length_error);
  for (const std::string& line : cap.lines()) {
    EXPECT_NE(line, "Deleting fixedfloat object!");
  }
  // A length the digits cannot take leaves the number as it was.
  fixedfloat number(8, -1.5f);
  const floatstate before(number);
  EXPECT_THROW(number.init(std::uint64_t{1} << 63), std::length_error);
  EXPECT_EQ(floatstate(number), before);
}

TEST(FixedfloatLifecycle, CopiesSignsAndStreams) {
  fixedfloat f(8, -2.5f);
  f.floatsigned = false;
  f.digits.throwwhenover = true;
  tracecapture cap;
  const fixedfloat copy = f.getcopy();
  EXPECT_EQ(cap.lines(), floatcreationlines(8));
  EXPECT_EQ(floatstate(copy), floatstate(f));
  EXPECT_TRUE(copy.digits.throwwhenover);
  EXPECT_EQ(f.abs().asstring(), "2.5");
  EXPECT_EQ(f.asstring(), "-2.5");
  std::ostringstream out;
  out << fixedint(4, -42) << ' ' << f;
  EXPECT_EQ(out.str(), "-42 -2.5");
}

TEST(FixedfloatFromFixedint, KeepsSignAndLowestIntegerDigits) {
  const auto assigned = [](const fixedint& value) {
    fixedfloat number(8, -1.5f);
    number = value;
    expectwellformed(number, 8);
    return number.asstring();
  };
  EXPECT_EQ(assigned(fixedint(4, -42)), "-42.0");
  EXPECT_EQ(assigned(fixedint(8, 123456)), "3456.0");
  EXPECT_EQ(assigned(fixedint(8, -10000)), "-0.0"); // the sign survives the cut
  // A fixedint shorter than the integer half is refused even when its value
  // fits.
  fixedfloat number(8, -12.34f);
  const floatstate before(number);
  EXPECT_EQ(whatof<std::out_of_range>([&] { number = fixedint(3, 5); }),
            "Val too small for fixedfloat!");
  EXPECT_EQ(floatstate(number), before);
}

TEST(FixedfloatFromFixedint, LogsOneMultiplicationByTenPerIntegerPlace) {
  fixedfloat number(8);
  const fixedint value(4, 7);
  tracecapture cap;
  number = value; // a copy, which logs nothing until it goes
  // The copy grown to the length, then digits = digits * fixedint(8, 10)
  // four times; the operator's copy goes last.
  const lines step =
      concat({creationlines(8), productlines(8), operandsgone(), resultgone()});
  EXPECT_EQ(cap.lines(),
            concat({resizelines(8), step, step, step, step, operandsgone()}));
  EXPECT_EQ(number.asstring(), "7.0");
}

// The assignment once moved the integer up by h products by ten, each made
// and destroyed as below; it must still leave the same members and lines,
// for malformed places and any flags too.
TEST(FixedfloatFromFixedint, AsOneProductByTenPerIntegerPlace) {
  const testseed seed(104);
  operandsource source(seed.value());
  for (int round = 0; round < 400 && !HasFailure(); ++round) {
    const std::uint64_t length = 2 * source.below(round % 10 ? 6 : 30);
    fixedint value = source.number(length / 2 + source.below(length + 2));
    value.numsigned = source.coin();
    value.throwwhenover = source.coin();
    if (source.below(3) == 0 && !value.digits.empty()) {
      value.digits[source.below(value.digits.size())] =
          static_cast<signed char>(source.coin() ? -7 : 23);
    }
    fixedfloat assigned(length), stepped(length);
    tracecapture cap;
    assigned = value;
    const lines expected = cap.lines();
    tracecapture::reset();
    {
      fixedint copy = value;
      copy.resize(length);
      stepped.digits = std::move(copy);
      stepped.updsign();
      for (std::uint64_t i = 0; i < length / 2; ++i) {
        stepped.digits = stepped.digits * fixedint(length, 10);
      }
    }
    EXPECT_EQ(cap.lines(), expected);
    EXPECT_EQ(floatstate(assigned), floatstate(stepped))
        << placesof(value.digits, value.isneg);
  }
}

TEST(FixedfloatParts, SplitMagnitudeAtThePoint) {
  const fixedfloat number(8, -78.9f);
  const floatstate before(number);
  EXPECT_EQ(placesof(number.getintpart()), "00000078");
  EXPECT_EQ(placesof(number.getfractionpart()), "00009000");
  EXPECT_EQ(floatstate(number), before);
  // The integer part into a fixedint: the magnitude, at the full length.
  fixedint target(2);
  target = number;
  EXPECT_EQ(placesof(target), "00000078");
  EXPECT_EQ(target.size, 8u);
}

// The integer part is made, written and destroyed; the fraction part is
// made, then an empty scratch number; a fraction not zero is then cut to h
// places to find its leading zeros; last the fraction part goes.
TEST(FixedfloatAsstring, LogsThePartsAndTheScratchNumber) {
  const lines parts = concat({creationlines(8), resultgone(), creationlines(8),
                              creationlines(0), numbersgone()});
  const fixedfloat zero(8);
  const fixedfloat nonzero(8, "78.9");
  tracecapture cap;
  zero.asstring();
  EXPECT_EQ(cap.lines(), concat({parts, numbersgone()}));
  tracecapture::reset();
  nonzero.asstring();
  EXPECT_EQ(cap.lines(), concat({parts, resizelines(4), numbersgone()}));
}

TEST(FixedfloatAsstring, MatchesExactDecimalTextOfRandomDigits) {
  const testseed seed(20240611);
  operandsource source(seed.value());
  for (int round = 0; round < 5000 && !HasFailure(); ++round) {
    const digitvector scaled = source.digits(2 * source.below(41));
    const fixedfloat number = floatwithdigits(scaled, source.coin());
    EXPECT_EQ(number.asstring(), fixedtext(floatstate(number)))
        << placesof(number.digits.digits, number.isneg);
    tracecapture::reset();
  }
}

TEST(FixedfloatFromFloat, StoresTheDigitsOfTheSinglePrecisionValue) {
  const struct {
    std::uint64_t length;
    float value;
    const char* text;
  } cases[] = {
      {8, 0.123f, "0.123"},
      {8, 78.9f, "78.9"},
      {8, 0.05f, "0.05"},
      {8, 0.0015f, "0.0015"},
      {8, -1.5f, "-1.5"},
      {8, -0.5f, "-0.5"},
      {8, 0.001f, "0.001"}, // just above the threshold: three places
      {8, 0.0005f, "0.0"},  // at or below it: nothing
      {8, -0.0005f, "0.0"}, // a zero result carries no sign
      {16, 3.14159f, "3.14159012"},
      {18, 0.01f, "0.009999999"},
      // The ends of the int64_t range: 2^62 and -2^63 are exact floats.
      {40, 4611686018427387904.0f, "4611686018427387904.0"},
      {40, -9223372036854775808.0f, "-9223372036854775808.0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    fixedfloat number(c.length, -9.5f); // a value to replace
    number = c.value;
    EXPECT_EQ(number.asstring(), c.text);
    expectwellformed(number, c.length);
    EXPECT_EQ(number.isneg, c.text[0] == '-');
  }
}

TEST(FixedfloatFromFloat, RefusalsKeepTheNumberOrItsIntegerPart) {
  const float inf = std::numeric_limits<float>::infinity();
  // No int64_t integer part, or too many integer digits: nothing changes,
  // and nothing is made but the integer part that does not fit.
  const std::pair<std::uint64_t, float> cases[] = {
      {40, std::numeric_limits<float>::quiet_NaN()},
      {40, inf},
      {40, -inf},
      {40, 1e30f},
      {40, 9223372036854775808.0f},
      {8, -12345.0f}};
  for (const auto& [length, value] : cases) {
    SCOPED_TRACE(value);
    fixedfloat number(length, -12.34f);
    const floatstate before(number);
    tracecapture cap;
    EXPECT_THROW(number = value, std::out_of_range);
    EXPECT_EQ(cap.lines(), length == 8 ? creationlines(4) : lines{});
    EXPECT_EQ(floatstate(number), before);
  }
  // Too many fraction digits: the integer part is stored all the same.
  for (const float value : {3.14159f, -0.01f}) {
    SCOPED_TRACE(value);
    fixedfloat number(8, -12.5f);
    EXPECT_EQ(whatof<std::length_error>([&] { number = value; }),
              "Fraction of float too big to fit in fixedfloat!");
    EXPECT_EQ(number.asstring(), value > 0 ? "3.0" : "0.0");
    expectwellformed(number, 8);
  }
}

TEST(FixedfloatResize, KeepsTheValueWhereItFits) {
  const testseed seed(103);
  operandsource source(seed.value());
  for (int round = 0; round < 2000 && !HasFailure(); ++round) {
    const std::size_t length = 2 * source.below(12);
    const std::size_t target = 2 * source.below(12);
    fixedfloat f = floatwithdigits(source.digits(length), source.coin());
    bigint expected = floatstate(f).signedscaled();
    if (target >= length) {
      mpz_mul(expected.get(), expected.get(),
              powerof10((target - length) / 2).get());
    } else {
      mpz_tdiv_q(expected.get(), expected.get(),
                 powerof10((length - target) / 2).get());
    }
    SCOPED_TRACE(f.asstring() + " to " + std::to_string(target));
    tracecapture cap;
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

TEST(FixedfloatAsdouble, MatchesStrtodOfAsstring) {
  const testseed seed(104);
  expectnearestonrandomdigits(seed, floatwithdigits);
}

TEST(FixedfloatAsdouble, NearestTenthSubnormalsUnderflowAndNegativeZero) {
  EXPECT_EQ(fixedfloat(8, "0.1").asdouble(), 0.1);
  EXPECT_EQ(fixedfloat(620, "0." + std::string(309, '0') + "1").asdouble(),
            1e-310);
  EXPECT_EQ(fixedfloat(900, "0." + std::string(420, '0') + "1").asdouble(),
            0.0);
  EXPECT_TRUE(std::signbit(fixedfloat(4, "-0").asdouble()));
}

} // namespace
