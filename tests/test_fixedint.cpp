// fixedint storage: conversion from machine integers, length changes, shifts,
// text, copies, and the trace each of them writes or must not write.
#include "support/tracecapture.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using VELDRA::fixedint;
using veldratest::concat;
using veldratest::creationlines;
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
constexpr std::int64_t int64min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t int64max = std::numeric_limits<std::int64_t>::max();
const std::string toolong = "Input int bigger than size!";

lines resizelines(std::uint64_t length) {
  return {"Resize requested in fixedint.",
          "Resizing Digits to: " + std::to_string(length), "Done."};
}

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

void expectsame(const fixedint& a, const fixedint& b) {
  EXPECT_EQ(a.isneg, b.isneg);
  EXPECT_EQ(a.size, b.size);
  EXPECT_EQ(a.numsigned, b.numsigned);
  EXPECT_EQ(a.throwwhenover, b.throwwhenover);
  EXPECT_EQ(a.digits, b.digits);
}

fixedint withdigits(const digitvector& digits, bool negative) {
  fixedint n(digits.size());
  n.digits = digits;
  n.isneg = negative;
  return n;
}

TEST(FixedintConversion, StoresMagnitudeDigitsWithTheSignApart) {
  const struct {
    std::uint64_t length;
    std::int64_t value;
    digitvector digits;
    bool negative;
    std::string text;
  } cases[] = {
      {5, 123, {3, 2, 1, 0, 0}, false, "123"},
      {5, -42, {2, 4, 0, 0, 0}, true, "-42"},
      {1, 0, {0}, false, "0"},
      {1, -9, {9}, true, "-9"},
      {3, 999, {9, 9, 9}, false, "999"},
      {19,
       int64min,
       {8, 0, 8, 5, 7, 7, 4, 5, 8, 6, 3, 0, 2, 7, 3, 3, 2, 2, 9},
       true,
       "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tracecapture cap;
    {
      const fixedint n(c.length, c.value);
      EXPECT_EQ(n.size, c.length);
      EXPECT_EQ(n.digits, c.digits);
      EXPECT_EQ(n.isneg, c.negative);
      EXPECT_TRUE(n.numsigned);
      EXPECT_FALSE(n.throwwhenover);
      EXPECT_EQ(n.asstring(), c.text);
      EXPECT_EQ(n.getasstdint(), c.value);
      EXPECT_EQ(cap.lines(), creationlines(c.length));
    }
    EXPECT_EQ(cap.lines(), concat({creationlines(c.length), {deleted}}));
  }
}

// The number never came into being, so no destruction line may follow.
TEST(FixedintConversion, ValueTooLongEndsConstructionAfterTheCreationLines) {
  const struct {
    std::uint64_t length;
    std::int64_t value;
  } cases[] = {{3, 1234}, {3, -1234}, {0, 0}, {18, int64min}, {18, int64max}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    tracecapture cap;
    EXPECT_EQ(whatof<std::out_of_range>(
                  [&] { static_cast<void>(fixedint(c.length, c.value)); }),
              toolong);
    EXPECT_EQ(cap.lines(), creationlines(c.length));
  }
}

TEST(FixedintConversion, FailedAssignmentChangesNothing) {
  for (const bool numsigned : {true, false}) {
    fixedint n(3, -456);
    n.numsigned = numsigned;
    tracecapture cap;
    EXPECT_EQ(whatof<std::out_of_range>([&] { n = 1234; }), toolong);
    EXPECT_EQ(whatof<std::out_of_range>([&] { n = -1000; }), toolong);
    EXPECT_EQ(n.digits, (digitvector{6, 5, 4}));
    EXPECT_TRUE(n.isneg);
    EXPECT_EQ(n.numsigned, numsigned);
    EXPECT_TRUE(cap.lines().empty());
  }
  fixedint empty(0);
  EXPECT_EQ(whatof<std::out_of_range>([&] { empty = 0; }), toolong);
  EXPECT_EQ(empty.size, 0u);
  EXPECT_TRUE(empty.digits.empty());
}

TEST(FixedintConversion, AssignmentClearsHigherPlacesAndHonoursNumsigned) {
  fixedint n(5, 98765);
  tracecapture cap;
  n = 3;
  EXPECT_EQ(n.digits, (digitvector{3, 0, 0, 0, 0}));
  n = -42;
  EXPECT_EQ(n.asstring(), "-42");
  n = 42;
  EXPECT_EQ(n.asstring(), "42");

  // Unsigned: the magnitude is stored and the sign the number had stays.
  n.numsigned = false;
  n = -42;
  EXPECT_EQ(n.asstring(), "42");
  n.flipsign();
  n = 7;
  EXPECT_EQ(n.asstring(), "-7");
  EXPECT_TRUE(cap.lines().empty());

  fixedint one(1, 5);
  one = 0;
  EXPECT_EQ(one.asstring(), "0");
  EXPECT_EQ(one.digits, digitvector{0});
}

// A caller who set `size` without the digits gets them back in step rather
// than writes past the vector.
TEST(FixedintConversion, AssignmentRebuildsTheDigitsAtSize) {
  fixedint grown(2);
  grown.size = 5;
  grown = 12345;
  EXPECT_EQ(grown.digits, (digitvector{5, 4, 3, 2, 1}));

  fixedint shrunk(5, 999);
  shrunk.size = 2;
  shrunk = 7;
  EXPECT_EQ(shrunk.digits, (digitvector{7, 0}));
}

TEST(FixedintResize, ShrinkingDropsTopPlacesGrowingAddsZeros) {
  const struct {
    std::int64_t value;
    std::uint64_t length;
    std::string text;
  } cases[] = {{-123, 2, "-23"},
               {123, 7, "123"},
               {12345, 5, "12345"},
               {120, 1, "0"},
               {-123, 0, "-"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    fixedint n(5, c.value);
    n.numsigned = false;
    n.throwwhenover = true;
    tracecapture cap;
    n.resize(c.length);
    EXPECT_EQ(cap.lines(), resizelines(c.length));
    EXPECT_EQ(n.size, c.length);
    EXPECT_EQ(n.digits.size(), c.length);
    EXPECT_EQ(n.asstring(), c.text);
    EXPECT_FALSE(n.numsigned);
    EXPECT_TRUE(n.throwwhenover);
  }
}

// A length the digit vector cannot hold must not leave size disagreeing
// with the digits, which every loop over them trusts.
TEST(FixedintResize, ALengthBeyondTheVectorsReachLeavesTheNumberAsItWas) {
  fixedint n(3, -5);
  const fixedint before(n);
  EXPECT_THROW(n.resize(std::uint64_t{1} << 63), std::length_error);
  expectsame(n, before);
}

TEST(FixedintShift, MovesDigitsOnePlaceAndKeepsTheSign) {
  const struct {
    std::uint64_t length;
    std::int64_t value;
    bool left;
    std::string text;
  } cases[] = {
      {5, 12345, true, "23450"}, {5, 12345, false, "1234"},
      {4, -120, true, "-1200"},  {4, -120, false, "-12"},
      {1, -7, false, "-0"},      {1, 5, true, "0"},
      {1, 5, false, "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.value) + (c.left ? " <<" : " >>"));
    fixedint n(c.length, c.value);
    tracecapture cap;
    c.left ? n.wholeshiftl() : n.wholeshiftr();
    EXPECT_EQ(n.asstring(), c.text);
    EXPECT_EQ(n.digits.size(), c.length);
    EXPECT_TRUE(cap.lines().empty());
  }
}

TEST(FixedintLengthZero, CanBeMadeCopiedShiftedResizedAndRendered) {
  tracecapture cap;
  fixedint empty(0);
  EXPECT_EQ(cap.lines(), creationlines(0));
  EXPECT_EQ(empty.asstring(), "");
  empty.flipsign();
  EXPECT_EQ(empty.asstring(), "-");

  empty.wholeshiftl();
  empty.wholeshiftr();
  EXPECT_EQ(empty.size, 0u);
  EXPECT_TRUE(empty.digits.empty());

  fixedint copy(empty);
  copy.resize(3);
  EXPECT_EQ(copy.digits, (digitvector{0, 0, 0}));
  EXPECT_EQ(copy.asstring(), "-0");
}

TEST(FixedintAsstring, StripsLeadingZerosAndPrintsOddElementsByValue) {
  const struct {
    digitvector digits;
    bool negative;
    std::string text;
  } cases[] = {
      {{0, 0, 0, 0}, false, "0"},     {{0, 0, 0, 0}, true, "-0"},
      {{5, 0, 0}, true, "-5"},        {{3, -4, 0}, false, "-43"},
      {{12, 0}, false, "12"},         {{0, 10, 0}, true, "-100"},
      {{7, 0, -1, 0}, false, "-107"}, {{-128}, false, "-128"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    fixedint n = withdigits(c.digits, c.negative);
    n.numsigned = false; // the sign prints whatever numsigned says
    tracecapture cap;
    EXPECT_EQ(n.asstring(), c.text);
    EXPECT_TRUE(cap.lines().empty());
  }
}

TEST(FixedintShorteneddigits, DropsOnlyTheLeadingZeros) {
  const struct {
    digitvector digits;
    digitvector significant;
  } cases[] = {
      {{0, 0, 0, 0}, {}}, {{0, 2, 1, 0, 0}, {0, 2, 1}}, {{}, {}},
      {{9}, {9}},         {{0, -1, 0}, {0, -1}},
  };
  for (const auto& c : cases) {
    const fixedint n = withdigits(c.digits, true);
    EXPECT_EQ(n.getshorteneddigits(), c.significant);
    EXPECT_EQ(n.digits, c.digits);
  }
}

TEST(FixedintCopy, CopiesAreDeepAndSilentButTheirDestructionLogs) {
  fixedint source(4, -321);
  source.numsigned = false;
  source.throwwhenover = true;
  tracecapture cap;
  {
    fixedint copy(source);
    EXPECT_TRUE(cap.lines().empty());
    expectsame(copy, source);
    copy.digits[0] = 9;
    EXPECT_EQ(source.digits[0], 1);
  }
  EXPECT_EQ(cap.lines(), lines{deleted});

  // The assignment takes over the source's length as well.
  fixedint target(7, 5);
  tracecapture::reset();
  target = source;
  expectsame(target, source);
  EXPECT_TRUE(cap.lines().empty());
}

TEST(FixedintSignedCopies, GetcopyAndAbsLogCreationAndCarryTheFlags) {
  fixedint n(5, -42);
  n.numsigned = false;
  n.throwwhenover = true;
  tracecapture cap;
  {
    const fixedint copy = n.getcopy();
    expectsame(copy, n);
    EXPECT_EQ(cap.lines(), creationlines(5));
  }
  tracecapture::reset();
  {
    const fixedint positive = n.abs();
    EXPECT_EQ(positive.asstring(), "42");
    EXPECT_FALSE(positive.numsigned);
    EXPECT_TRUE(positive.throwwhenover);
    EXPECT_EQ(cap.lines(), creationlines(5));
  }
  EXPECT_EQ(cap.lines(), concat({creationlines(5), {deleted}}));
  EXPECT_EQ(n.asstring(), "-42");
}

TEST(FixedintSignedCopies, FlipsignInvertsInPlaceZeroIncluded) {
  fixedint zero(3);
  fixedint n(3, 12);
  n.numsigned = false;
  tracecapture cap;
  zero.flipsign();
  EXPECT_EQ(zero.asstring(), "-0");
  zero.flipsign();
  EXPECT_EQ(zero.asstring(), "0");
  n.flipsign();
  EXPECT_EQ(n.asstring(), "-12");
  n.flipsign();
  EXPECT_EQ(n.asstring(), "12");
  EXPECT_TRUE(cap.lines().empty());
}

TEST(FixedintGetasstdint, ReturnsValuesThatFitAndRefusesOthers) {
  EXPECT_EQ(fixedint(40, int64min).getasstdint(), int64min);
  EXPECT_EQ(fixedint(19, int64max).getasstdint(), int64max);
  EXPECT_EQ(fixedint(40, -7).getasstdint(), -7);
  fixedint negativezero(3);
  negativezero.flipsign();
  EXPECT_EQ(negativezero.getasstdint(), 0);
  EXPECT_EQ(fixedint(0).getasstdint(), 0);

  fixedint twoto63(19, int64min);
  twoto63.flipsign();
  EXPECT_THROW(twoto63.getasstdint(), std::overflow_error);
  fixedint belowmin(19, int64min);
  belowmin.digits[0] = 9;
  EXPECT_THROW(belowmin.getasstdint(), std::overflow_error);
  fixedint tento19(20, 1000000000000000000);
  tento19.wholeshiftl();
  EXPECT_THROW(tento19.getasstdint(), std::overflow_error);
}

} // namespace
