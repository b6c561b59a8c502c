// fixedfloat comparison and arithmetic: by value across lengths, + - * / and
// round against GMP, with the failures and the trace of each.
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/roundref.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

namespace {

using VELDRA::fixedfloat;
using VELDRA::roundmode;
using namespace veldratest;

TEST(FixedfloatComparison, ByValueAcrossLengths) {
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
    if (order == 0) {
      EXPECT_EQ(std::hash<fixedfloat>{}(a), std::hash<fixedfloat>{}(b));
    }
  }
}

TEST(FixedfloatAddition, MatchesGmp) {
  const testseed seed(85);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 2 * (1 + source.below(30));
    fixedfloat a = floatwithdigits(source.digits(length), source.coin());
    const fixedfloat b = floatwithdigits(source.digits(length), source.coin());
    a.digits.throwwhenover = source.coin();
    const bool add = source.coin();
    SCOPED_TRACE(a.asstring() + (add ? " + " : " - ") + b.asstring());
    const floatoutcome expected =
        add ? fixedsumof(floatstate(a), floatstate(b))
            : fixeddifferenceof(floatstate(a), floatstate(b));
    if (expected.overflow) {
      EXPECT_EQ(whatof<std::overflow_error>(
                    [&] { static_cast<void>(add ? a + b : a - b); }),
                "Overflow occured.");
      continue;
    }
    const fixedfloat result = add ? a + b : a - b;
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
  // An element outside 0..9, and digits that do not match the length.
  fixedfloat malformed(8, 1.0f);
  malformed.digits.digits[1] = 12;
  fixedfloat shortened(8, 1.0f);
  shortened.digits.digits.resize(6);
  tracecapture cap;
  EXPECT_EQ(whatof<std::length_error>([&] { static_cast<void>(a + b); }),
            "Size is not equal!");
  EXPECT_EQ(whatof<std::overflow_error>([&] { static_cast<void>(big + big); }),
            "Overflow occured.");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(a - malformed); }),
      "Malformed digits!");
  EXPECT_EQ(
      whatof<std::domain_error>([&] { static_cast<void>(shortened + a); }),
      "Malformed digits!");
  // Only the copies of the right operand are destroyed.
  EXPECT_EQ(cap.lines(), floatoperandsgone(4));
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
    const lines tail = concat({{"Done."}, floatoperandsgone()});
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
  EXPECT_EQ(cap.lines(), concat({opening, floatoperandsgone()}));
}

TEST(FixedfloatMultiply, MatchesGmpOnRandomFactors) {
  const testseed seed(7);
  operandsource source(seed.value());
  const std::size_t rounds = differentialcases();
  for (std::size_t round = 0; round < rounds && !HasFailure(); ++round) {
    const std::size_t length = 2 * (1 + source.below(100));
    const fixedfloat left =
        floatwithdigits(source.digits(length), source.coin());
    const fixedfloat right =
        floatwithdigits(source.digits(length), source.coin());
    const floatstate before(left);
    const fixedfloat product = left * right;
    const floatoutcome expected =
        fixedproductof(floatstate(left), floatstate(right));
    EXPECT_EQ(placesof(product.digits.digits, product.isneg),
              placesof(todigits(expected.magnitude, length), expected.isneg))
        << left.asstring() << " * " << right.asstring();
    expectwellformed(product, length);
    EXPECT_EQ(floatstate(left), before);
    tracecapture::reset();
  }
}

TEST(FixedfloatDivision, MatchesGmp) {
  const testseed seed(101);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    // Now and then up to 120 places: several limbs of the kernel.
    const std::size_t length = 2 * (1 + source.below(round % 8 ? 12 : 60));
    const fixedfloat a = floatwithdigits(source.digits(length), source.coin());
    const fixedfloat b = floatwithdigits(source.digits(length), source.coin());
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
              concat({floatcreationlines(8), floatoperandsgone()}));
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
  EXPECT_EQ(cap.lines(), floatoperandsgone(5));
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
    const fixedfloat a = floatwithdigits(source.digits(length), source.coin());
    const std::uint64_t places = source.below(length / 2 + 2);
    const auto mode = static_cast<roundmode>(source.below(7));
    SCOPED_TRACE(a.asstring() + " to " + std::to_string(places) + " mode " +
                 std::to_string(static_cast<int>(mode)));
    const unsigned long k = places < length / 2 ? length / 2 - places : 0;
    const bigint rounded =
        roundedreference(floatstate(a).signedscaled(), k, mode);
    expectscaled(a.round(places, mode), rounded);
    // The text is not cut to the length, and fits exactly.
    const std::string text = a.asstring(places, mode);
    EXPECT_EQ(text, placestext(rounded, length / 2, places));
    std::string buffer(text.size(), '?');
    char* const end = buffer.data() + buffer.size();
    EXPECT_EQ(VELDRA::to_chars(buffer.data(), end - 1, a, places, mode).ec,
              std::errc::value_too_large);
    EXPECT_EQ(VELDRA::to_chars(buffer.data(), end, a, places, mode).ptr, end);
    EXPECT_EQ(buffer, text);
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
  // The text of a rounded number refuses what round refuses, in its order,
  // but a carry out of the length is neither cut nor an overflow.
  char buffer[16];
  EXPECT_THROW(VELDRA::to_chars(buffer, buffer + 16, a, 0, roundmode::down),
               std::domain_error);
  EXPECT_EQ(whatof<std::invalid_argument>(
                [&] { a.asstring(0, static_cast<roundmode>(7)); }),
            "Unknown rounding mode!");
  a.digits.digits = {1, 2}; // out of step with the length
  EXPECT_EQ(whatof<std::domain_error>([&] { a.asstring(2, roundmode::up); }),
            "Malformed digits!");
  EXPECT_EQ(top.asstring(0, roundmode::up), "10000");
  EXPECT_TRUE(cap.lines().empty());
}

} // namespace
