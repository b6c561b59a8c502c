// fixedfloat: its trace, the conversions from fixedint and float, the text
// form and multiplication, the last two also checked against GMP on random
// digits.
#include "support/gmpref.hpp"
#include "support/tracecapture.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

using namespace VELDRA;
using veldratest::concat;
using veldratest::creationlines;
using veldratest::tracecapture;

namespace {

using lines = std::vector<std::string>;

// The set-up lines come with the first number of the process; running it
// first keeps them out of every capture.
tracecapture startcapture() {
  setup();
  return tracecapture();
}

// Everything an operation could change, for "unchanged" checks.
auto state(const fixedfloat& number) {
  return std::make_tuple(number.digits.digits, number.digits.size,
                         number.digits.isneg, number.size, number.floatsigned,
                         number.isneg);
}

fixedfloat fromfloat(std::uint64_t length, float value) {
  fixedfloat out(length);
  out = value;
  return out;
}

// A number whose scaled integer is `scaled` (decimal text).
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

// Runs `body`, which must throw `Exception` with the message `what`.
template <typename Exception, typename Body>
void expectthrow(Body body, const std::string& what) {
  try {
    body();
    ADD_FAILURE() << "no exception, expected \"" << what << "\"";
  } catch (const Exception& error) {
    EXPECT_EQ(error.what(), what);
  }
}

// The lines of fixedfloat(length) once set-up has run.
lines floatcreationlines(std::uint64_t length) {
  return concat(
      {creationlines(0),
       {"Creating new fixedfloat object!",
        "Init called on fixedfloat with length: " + std::to_string(length),
        "Register size.", "Init boolean properties.", "Init digits."},
       creationlines(length),
       {"Deleted fixedint object.", "Done."}});
}

const lines floatdestructionlines = {"Deleting fixedfloat object!",
                                     "Deleted fixedint object."};

// The sign and digit layout every operation must leave behind.
void expectwellformed(const fixedfloat& number, std::uint64_t length) {
  EXPECT_EQ(number.size, length);
  EXPECT_EQ(number.digits.size, length);
  EXPECT_EQ(number.digits.digits.size(), length);
  EXPECT_FALSE(number.digits.isneg);
  EXPECT_TRUE(number.floatsigned);
}

// ---------------------------------------------------------------------------
// Lifecycle
// ---------------------------------------------------------------------------

TEST(FixedfloatLifecycle, ConstructionMakesZeroAndLogsItsSteps) {
  auto cap = startcapture();
  fixedfloat number(8);
  EXPECT_EQ(cap.lines(), floatcreationlines(8));
  expectwellformed(number, 8);
  EXPECT_FALSE(number.isneg);
  EXPECT_EQ(number.digits.digits, std::vector<signed char>(8, 0));
  EXPECT_EQ(number.asstring(), "0.0");
}

TEST(FixedfloatLifecycle, OddLengthFailsAfterTheInitLine) {
  auto cap = startcapture();
  expectthrow<std::runtime_error>([] { fixedfloat number(7); },
                                  "length should be able to be divided by 2!");
  // The digit storage goes; no fixedfloat came into being.
  EXPECT_EQ(cap.lines(), concat({creationlines(0),
                                 {"Creating new fixedfloat object!",
                                  "Init called on fixedfloat with length: 7",
                                  "Deleted fixedint object."}}));
}

TEST(FixedfloatLifecycle, InitBeyondTheVectorsReachLeavesTheNumberAsItWas) {
  fixedfloat number = fromfloat(8, -1.5f);
  const auto before = state(number);
  EXPECT_THROW(number.init(std::uint64_t{1} << 63), std::length_error);
  EXPECT_EQ(state(number), before);
}

TEST(FixedfloatLifecycle, CopyLogsNothingAndDestructionLogsTwoLines) {
  const fixedfloat original = fromfloat(8, -78.9f);
  auto cap = startcapture();
  {
    const fixedfloat copy(original);
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_EQ(state(copy), state(original));
  }
  EXPECT_EQ(cap.lines(), floatdestructionlines);
}

// ---------------------------------------------------------------------------
// Integer parts and the assignment from fixedint
// ---------------------------------------------------------------------------

TEST(FixedfloatFromFixedint, KeepsSignAndLowestIntegerDigits) {
  struct example {
    std::uint64_t intlength;
    std::int64_t value;
    const char* text;
  };
  const example examples[] = {
      {4, -42, "-42.0"},    {8, 123456, "3456.0"}, {4, 0, "0.0"},
      {8, -10000, "-0.0"}, // a negative zero survives the cut
      {12, 9999, "9999.0"},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(e.value);
    fixedfloat number = fromfloat(8, -1.5f);
    number = fixedint(e.intlength, e.value);
    EXPECT_EQ(number.asstring(), e.text);
    expectwellformed(number, 8);
    EXPECT_EQ(number.isneg, e.value < 0);
  }
}

TEST(FixedfloatFromFixedint, RefusesAShortFixedintEvenWhenItsValueFits) {
  fixedfloat number = fromfloat(8, -12.34f);
  const auto before = state(number);
  expectthrow<std::out_of_range>([&] { number = fixedint(3, 5); },
                                 "Val too small for fixedfloat!");
  EXPECT_EQ(state(number), before);
}

TEST(FixedfloatFromFixedint, LogsOneMultiplicationByTenPerIntegerPlace) {
  fixedfloat number(8);
  const fixedint value(4, 7);
  auto cap = startcapture();
  number = value; // a copy, which logs nothing until it goes
  const lines step = concat(
      {creationlines(8),
       creationlines(16),
       {"Resize requested in fixedint.", "Resizing Digits to: 8", "Done."},
       {"Deleted fixedint object.", "Deleted fixedint object."}});
  EXPECT_EQ(cap.lines(), concat({{"Resize requested in fixedint.",
                                  "Resizing Digits to: 8", "Done."},
                                 step,
                                 step,
                                 step,
                                 step,
                                 {"Deleted fixedint object."}}));
  EXPECT_EQ(number.asstring(), "7.0");
}

TEST(FixedfloatParts, SplitMagnitudeAtThePoint) {
  for (const float value : {78.9f, -78.9f}) {
    const fixedfloat number = fromfloat(8, value);
    const auto before = state(number);
    const fixedint intpart = number.getintpart();
    const fixedint fraction = number.getfractionpart();
    EXPECT_EQ(intpart.size, 8u);
    EXPECT_EQ(intpart.asstring(), "78");
    EXPECT_EQ(fraction.size, 8u);
    EXPECT_EQ(fraction.asstring(), "9000");
    EXPECT_EQ(state(number), before);

    // The integer part into a fixedint: the magnitude, at the full length.
    fixedint target(2);
    target = number;
    EXPECT_EQ(target.size, 8u);
    EXPECT_EQ(target.digits.size(), 8u);
    EXPECT_EQ(target.asstring(), "78");
  }
}

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

TEST(FixedfloatText, RendersWithoutSurplusZeros) {
  struct example {
    std::uint64_t length;
    const char* scaled;
    bool negative;
    const char* text;
  };
  const example examples[] = {
      {8, "789000", false, "78.9"},
      {8, "1230", false, "0.123"},
      {8, "500", false, "0.05"},
      {8, "97047", false, "9.7047"},
      {8, "50000", false, "5.0"},
      {8, "0", false, "0.0"},
      {8, "0", true, "-0.0"},
      {8, "15000", true, "-1.5"},
      {8, "12345678", false, "1234.5678"},
      {8, "1", false, "0.0001"},
      {8, "10000000", false, "1000.0"},
      {0, "", false, ".0"},
      {2, "99", true, "-9.9"},
      {6, "100001", false, "100.001"},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(e.text);
    const fixedfloat number = fromscaled(e.length, e.scaled, e.negative);
    const auto before = state(number);
    EXPECT_EQ(number.asstring(), e.text);
    EXPECT_EQ(state(number), before);
  }
}

TEST(FixedfloatText, LogsThePartsAndTheScratchNumber) {
  const lines shared = concat({creationlines(8),
                               {"Deleted fixedint object."},
                               creationlines(8),
                               creationlines(0),
                               {"Deleted fixedint object."}});
  const fixedfloat zero(8);
  const fixedfloat nonzero = fromscaled(8, "789000");
  auto cap = startcapture();
  zero.asstring();
  EXPECT_EQ(cap.lines(), concat({shared, {"Deleted fixedint object."}}));
  tracecapture::reset();
  nonzero.asstring();
  EXPECT_EQ(cap.lines(),
            concat({shared,
                    {"Resize requested in fixedint.", "Resizing Digits to: 4",
                     "Done.", "Deleted fixedint object."}}));
}

// Digits with many zeros now and then, to reach the leading and trailing
// zero rules as well as long non-zero runs.
std::vector<signed char> randomdigits(std::mt19937_64& rng,
                                      std::size_t length) {
  std::vector<signed char> out(length, 0);
  const int shape = std::uniform_int_distribution<int>(0, 5)(rng);
  std::uniform_int_distribution<int> digit(0, 9);
  std::uniform_int_distribution<int> percent(0, 99);
  for (auto& place : out) {
    switch (shape) {
    case 0: // zero
      break;
    case 1: // nines: the largest magnitude
      place = 9;
      break;
    case 2: // sparse
      place = static_cast<signed char>(percent(rng) < 15 ? digit(rng) : 0);
      break;
    default:
      place = static_cast<signed char>(digit(rng));
    }
  }
  return out;
}

// The expected text, built from the GMP quotient and remainder by 10^h.
std::string referencetext(const std::vector<signed char>& digits,
                          bool negative) {
  const std::size_t h = digits.size() / 2;
  const veldratest::bigint value = veldratest::fromdigits(digits);
  const veldratest::bigint scale = veldratest::powerof10(h);
  veldratest::bigint whole;
  veldratest::bigint part;
  mpz_tdiv_qr(whole.get(), part.get(), value.get(), scale.get());
  std::string fraction = part.str();
  fraction.insert(0, h > fraction.size() ? h - fraction.size() : 0, '0');
  while (fraction.size() > 1 && fraction.back() == '0') {
    fraction.pop_back();
  }
  return (negative ? "-" : "") + (h == 0 ? "" : whole.str()) + "." + fraction;
}

TEST(FixedfloatText, MatchesExactDecimalTextOfRandomDigits) {
  std::mt19937_64 rng(20240611);
  for (int round = 0; round < 5000 && !::testing::Test::HasFailure(); ++round) {
    const auto length =
        2 * std::uniform_int_distribution<std::uint64_t>(0, 40)(rng);
    fixedfloat number(length);
    number.digits.digits = randomdigits(rng, length);
    number.isneg = rng() % 2 == 0;
    EXPECT_EQ(number.asstring(),
              referencetext(number.digits.digits, number.isneg))
        << "length " << length;
    tracecapture::reset();
  }
}

// ---------------------------------------------------------------------------
// Assignment from float
// ---------------------------------------------------------------------------

TEST(FixedfloatFromFloat, StoresTheDigitsOfTheSinglePrecisionValue) {
  struct example {
    std::uint64_t length;
    float value;
    const char* text;
  };
  const example examples[] = {
      {8, 0.123f, "0.123"},
      {8, 78.9f, "78.9"},
      {8, 12.34f, "12.34"},
      {8, 0.05f, "0.05"},
      {8, 0.0015f, "0.0015"},
      {8, 0.5f, "0.5"},
      {8, -1.5f, "-1.5"},
      {8, -0.5f, "-0.5"},
      {8, 5.0f, "5.0"},
      {8, 9999.0f, "9999.0"},
      {8, 0.001f, "0.001"}, // just above the threshold: three places
      {8, 0.0005f, "0.0"},  // at or below it: nothing
      {8, -0.0005f, "0.0"}, // a zero result carries no sign
      {8, -0.0f, "0.0"},
      {16, 3.14159f, "3.14159012"},
      {18, 0.01f, "0.009999999"},
      {2, -9.5f, "-9.5"},
      // The ends of the int64_t range: 2^62 and -2^63 are exact floats.
      {40, 4611686018427387904.0f, "4611686018427387904.0"},
      {40, -9223372036854775808.0f, "-9223372036854775808.0"},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(e.text);
    fixedfloat number = fromfloat(e.length, -9.5f); // a value to replace
    number = e.value;
    EXPECT_EQ(number.asstring(), e.text);
    expectwellformed(number, e.length);
    EXPECT_EQ(number.isneg, e.text[0] == '-');
  }
}

TEST(FixedfloatFromFloat, TooManyIntegerDigitsLeaveTheNumberUnchanged) {
  for (const float value : {12345.0f, -12345.0f}) {
    fixedfloat number = fromfloat(8, -12.34f);
    const auto before = state(number);
    expectthrow<std::out_of_range>([&] { number = value; },
                                   "Input int bigger than size!");
    EXPECT_EQ(state(number), before);
  }
}

TEST(FixedfloatFromFloat, TooManyFractionDigitsKeepTheIntegerPart) {
  struct example {
    std::uint64_t length;
    float value;
    const char* after;
  };
  const example examples[] = {
      {8, 3.14159f, "3.0"}, {8, -3.14159f, "-3.0"}, {4, 0.0015f, "0.0"},
      {8, 0.01f, "0.0"},    {8, -0.01f, "0.0"},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(e.after);
    fixedfloat number = fromfloat(e.length, -12.5f);
    expectthrow<std::length_error>(
        [&] { number = e.value; },
        "Fraction of float too big to fit in fixedfloat!");
    EXPECT_EQ(number.asstring(), e.after);
    expectwellformed(number, e.length);
  }
}

TEST(FixedfloatFromFloat, RefusesValuesWithoutAnInt64PartSilently) {
  const float inf = std::numeric_limits<float>::infinity();
  for (const float value : {std::numeric_limits<float>::quiet_NaN(), inf, -inf,
                            1e30f, -1e30f, 9223372036854775808.0f}) {
    SCOPED_TRACE(value);
    fixedfloat number = fromfloat(40, -12.34f);
    const auto before = state(number);
    auto cap = startcapture();
    try {
      number = value;
      ADD_FAILURE() << "no exception";
    } catch (const std::out_of_range& error) {
      EXPECT_NE(std::string(error.what()), "");
    }
    EXPECT_TRUE(cap.lines().empty());
    EXPECT_EQ(state(number), before);
  }
}

// ---------------------------------------------------------------------------
// Multiplication
// ---------------------------------------------------------------------------

TEST(FixedfloatMultiply, TruncatesAndWrapsTheProduct) {
  struct example {
    float left;
    float right;
    const char* text;
  };
  const example examples[] = {
      {78.9f, 0.123f, "9.7047"}, {0.5f, 0.5f, "0.25"},
      {1.5f, -2.0f, "-3.0"},     {0.123f, 0.05f, "0.0061"},
      {0.05f, 0.001f, "0.0"},    {9999.0f, 2.0f, "9998.0"},
      {-0.5f, 0.0f, "-0.0"},     {0.0f, -0.5f, "-0.0"},
      {-1.5f, -2.0f, "3.0"},     {0.0f, 0.0f, "0.0"},
  };
  for (const auto& e : examples) {
    SCOPED_TRACE(e.text);
    const fixedfloat left = fromfloat(8, e.left);
    const fixedfloat right = fromfloat(8, e.right);
    const auto leftbefore = state(left);
    const auto rightbefore = state(right);
    const fixedfloat product = left * right;
    EXPECT_EQ(product.asstring(), e.text);
    expectwellformed(product, 8);
    EXPECT_EQ(product.isneg, e.text[0] == '-');
    EXPECT_EQ(state(left), leftbefore);
    EXPECT_EQ(state(right), rightbefore);
  }
}

TEST(FixedfloatMultiply, UnsignedLeftFactorGivesANonNegativeProduct) {
  fixedfloat left = fromfloat(8, -1.5f);
  left.floatsigned = false;
  const fixedfloat product = left * fromfloat(8, 2.0f);
  EXPECT_EQ(product.asstring(), "3.0");
  EXPECT_FALSE(product.isneg);
  EXPECT_TRUE(product.floatsigned);
}

TEST(FixedfloatMultiply, LengthZeroGivesZero) {
  const fixedfloat empty(0);
  EXPECT_EQ((empty * empty).asstring(), ".0");
}

TEST(FixedfloatMultiply, DifferentLengthsThrowRightAfterTheFirstLine) {
  const fixedfloat left = fromfloat(8, 1.5f);
  const fixedfloat right = fromfloat(10, 2.5f);
  const auto before = state(left);
  auto cap = startcapture();
  expectthrow<std::length_error>([&] { static_cast<void>(left * right); },
                                 "Size is not equal!");
  // Only the copy of the right factor goes after the throw.
  EXPECT_EQ(cap.lines(),
            concat({{"Multiplication operation in fixedfloat. (oh boy)"},
                    floatdestructionlines}));
  EXPECT_EQ(state(left), before);
}

TEST(FixedfloatMultiply, TraceFramesTheResultsCreation) {
  const fixedfloat left = fromfloat(8, 78.9f);
  const fixedfloat right = fromfloat(8, 0.123f);
  auto cap = startcapture();
  const fixedfloat product = left * right;
  const lines got = cap.lines();
  const lines head = concat({{"Multiplication operation in fixedfloat. (oh "
                              "boy)"},
                             floatcreationlines(8)});
  const lines tail = concat({{"Done."}, floatdestructionlines});
  ASSERT_GE(got.size(), head.size() + tail.size());
  EXPECT_EQ(lines(got.begin(), got.begin() + head.size()), head);
  EXPECT_EQ(lines(got.end() - tail.size(), got.end()), tail);
}

std::size_t differentialcases() {
  const char* text = std::getenv("VELDRA_DIFF_CASES");
  return text ? std::strtoul(text, nullptr, 10) : 20000;
}

TEST(FixedfloatMultiply, MatchesGmpOnRandomFactors) {
  std::mt19937_64 rng(7);
  const std::size_t cases = differentialcases();
  for (std::size_t round = 0; round < cases && !::testing::Test::HasFailure();
       ++round) {
    const auto length =
        2 * std::uniform_int_distribution<std::uint64_t>(1, 100)(rng);
    fixedfloat left(length);
    fixedfloat right(length);
    left.digits.digits = randomdigits(rng, length);
    right.digits.digits = randomdigits(rng, length);
    left.isneg = rng() % 2 == 0;
    right.isneg = rng() % 2 == 0;
    const auto leftbefore = state(left);

    const fixedfloat product = left * right;

    veldratest::bigint expected;
    mpz_mul(expected.get(), veldratest::fromdigits(left.digits.digits).get(),
            veldratest::fromdigits(right.digits.digits).get());
    mpz_tdiv_q(expected.get(), expected.get(),
               veldratest::powerof10(length / 2).get());
    EXPECT_EQ(product.digits.digits, veldratest::todigits(expected, length))
        << left.asstring() << " * " << right.asstring();
    EXPECT_EQ(product.isneg, left.isneg != right.isneg);
    expectwellformed(product, length);
    EXPECT_EQ(state(left), leftbefore);
    tracecapture::reset();
  }
}

} // namespace
