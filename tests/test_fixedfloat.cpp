// fixedfloat: its trace, the conversions from fixedint and float, copies,
// the text form and multiplication, the last two also checked against GMP
// on random digits.
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldratest;
using lines = std::vector<std::string>;

// Everything an operation could change, for "unchanged" checks.
auto state(const fixedfloat& number) {
  return std::make_tuple(number.digits.digits, number.digits.size,
                         number.digits.isneg, number.size, number.floatsigned,
                         number.isneg);
}

// A number of `length` places whose scaled magnitude is `scaled` (text).
fixedfloat fromscaled(std::uint64_t length, const std::string& scaled,
                      bool negative = false) {
  fixedfloat out(length);
  for (std::size_t place = 0; place < scaled.size(); ++place) {
    out.digits.digits[place] =
        static_cast<signed char>(scaled[scaled.size() - 1 - place] - '0');
  }
  out.isneg = negative;
  return out;
}

// The sign and digit layout every operation must leave behind.
void expectwellformed(const fixedfloat& number, std::uint64_t length) {
  EXPECT_EQ(number.size, length);
  EXPECT_EQ(number.digits.size, length);
  EXPECT_EQ(number.digits.digits.size(), length);
  EXPECT_FALSE(number.digits.isneg);
  EXPECT_TRUE(number.floatsigned);
}

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
  EXPECT_EQ(cap.lines(),
            concat({floatdestructionlines(), floatdestructionlines()}));
  // An odd length fails after the init line: the digit storage goes, and
  // no fixedfloat came into being.
  tracecapture::reset();
  EXPECT_EQ(whatof<std::runtime_error>([] { fixedfloat number(7); }),
            "length should be able to be divided by 2!");
  EXPECT_EQ(cap.lines(), concat({creationlines(0),
                                 {"Creating new fixedfloat object!",
                                  "Init called on fixedfloat with length: 7"},
                                 deletions(1)}));
  // Nor does one whose value the assignment refuses.
  tracecapture::reset();
  EXPECT_THROW(fixedfloat(8, 3.14159f), std::length_error);
  for (const std::string& line : cap.lines()) {
    EXPECT_NE(line, "Deleting fixedfloat object!");
  }
  // A length the digits cannot take leaves the number as it was.
  fixedfloat number(8, -1.5f);
  const auto before = state(number);
  EXPECT_THROW(number.init(std::uint64_t{1} << 63), std::length_error);
  EXPECT_EQ(state(number), before);
}

TEST(FixedfloatLifecycle, CopiesSignsAndStreams) {
  fixedfloat f(8, -2.5f);
  f.floatsigned = false;
  f.digits.throwwhenover = true;
  tracecapture cap;
  const fixedfloat copy = f.getcopy();
  EXPECT_EQ(cap.lines(), floatcreationlines(8));
  EXPECT_EQ(state(copy), state(f));
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
  const auto before = state(number);
  EXPECT_EQ(whatof<std::out_of_range>([&] { number = fixedint(3, 5); }),
            "Val too small for fixedfloat!");
  EXPECT_EQ(state(number), before);
}

TEST(FixedfloatFromFixedint, LogsOneMultiplicationByTenPerIntegerPlace) {
  fixedfloat number(8);
  const fixedint value(4, 7);
  tracecapture cap;
  number = value; // a copy, which logs nothing until it goes
  const lines step = concat(
      {creationlines(8), creationlines(16), resizelines(8), deletions(2)});
  EXPECT_EQ(cap.lines(),
            concat({resizelines(8), step, step, step, step, deletions(1)}));
  EXPECT_EQ(number.asstring(), "7.0");
}

TEST(FixedfloatParts, SplitMagnitudeAtThePoint) {
  const fixedfloat number(8, -78.9f);
  const auto before = state(number);
  EXPECT_EQ(placesof(number.getintpart()), "00000078");
  EXPECT_EQ(placesof(number.getfractionpart()), "00009000");
  EXPECT_EQ(state(number), before);
  // The integer part into a fixedint: the magnitude, at the full length.
  fixedint target(2);
  target = number;
  EXPECT_EQ(placesof(target), "00000078");
  EXPECT_EQ(target.size, 8u);
}

TEST(FixedfloatText, LogsThePartsAndTheScratchNumber) {
  const lines shared = concat({creationlines(8), deletions(1), creationlines(8),
                               creationlines(0), deletions(1)});
  const fixedfloat zero(8);
  const fixedfloat nonzero = fromscaled(8, "789000");
  tracecapture cap;
  zero.asstring();
  EXPECT_EQ(cap.lines(), concat({shared, deletions(1)}));
  tracecapture::reset();
  nonzero.asstring();
  EXPECT_EQ(cap.lines(), concat({shared, resizelines(4), deletions(1)}));
}

TEST(FixedfloatText, MatchesExactDecimalTextOfRandomDigits) {
  const testseed seed(20240611);
  operandsource source(seed.value());
  for (int round = 0; round < 5000 && !HasFailure(); ++round) {
    const std::size_t length = 2 * source.below(41);
    fixedfloat number(length);
    number.digits.digits = source.digits(length);
    number.isneg = source.coin();
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
    const auto before = state(number);
    tracecapture cap;
    EXPECT_THROW(number = value, std::out_of_range);
    EXPECT_EQ(cap.lines(), length == 8 ? creationlines(4) : lines{});
    EXPECT_EQ(state(number), before);
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

// The random factors below leave these out.
TEST(FixedfloatMultiply, UnsignedLeftFactorAndLengthZero) {
  fixedfloat left(8, -1.5f);
  left.floatsigned = false;
  const fixedfloat product = left * fixedfloat(8, 2.0f);
  EXPECT_EQ(product.asstring(), "3.0");
  EXPECT_TRUE(product.floatsigned);
  EXPECT_EQ((fixedfloat(0) * fixedfloat(0)).asstring(), ".0");
}

TEST(FixedfloatMultiply, TraceFramesTheResultsCreation) {
  const lines opening = {"Multiplication operation in fixedfloat. (oh boy)"};
  const fixedfloat left(8, 78.9f);
  const fixedfloat right(8, 0.123f);
  tracecapture cap;
  {
    const fixedfloat product = left * right;
    const lines got = cap.lines();
    const lines head = concat({opening, floatcreationlines(8)});
    const lines tail = concat({{"Done."}, floatdestructionlines()});
    ASSERT_GE(got.size(), head.size() + tail.size());
    EXPECT_EQ(lines(got.begin(), got.begin() + head.size()), head);
    EXPECT_EQ(lines(got.end() - tail.size(), got.end()), tail);
  }
  // Different lengths throw right after the first line; only the copy of
  // the right factor goes.
  const fixedfloat longer(10, 2.5f);
  tracecapture::reset();
  EXPECT_EQ(
      whatof<std::length_error>([&] { static_cast<void>(left * longer); }),
      "Size is not equal!");
  EXPECT_EQ(cap.lines(), concat({opening, floatdestructionlines()}));
}

TEST(FixedfloatMultiply, MatchesGmpOnRandomFactors) {
  const testseed seed(7);
  operandsource source(seed.value());
  const std::size_t rounds = differentialcases();
  for (std::size_t round = 0; round < rounds && !HasFailure(); ++round) {
    const std::size_t length = 2 * (1 + source.below(100));
    fixedfloat left(length);
    fixedfloat right(length);
    left.digits.digits = source.digits(length);
    right.digits.digits = source.digits(length);
    left.isneg = source.coin();
    right.isneg = source.coin();
    const auto before = state(left);
    const fixedfloat product = left * right;
    const floatoutcome expected =
        fixedproductof(floatstate(left), floatstate(right));
    EXPECT_EQ(placesof(product.digits.digits, product.isneg),
              placesof(todigits(expected.magnitude, length), expected.isneg))
        << left.asstring() << " * " << right.asstring();
    expectwellformed(product, length);
    EXPECT_EQ(state(left), before);
    tracecapture::reset();
  }
}

} // namespace
