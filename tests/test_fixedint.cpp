// fixedint storage: made from machine integers, resized, copied, read back as
// text, int64_t and double, and the trace each writes or must not write.
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>

namespace {

using VELDRA::fixedint;
using namespace veldratest;

constexpr std::int64_t int64min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t int64max = std::numeric_limits<std::int64_t>::max();
const std::string toolong = "Input int bigger than size!";

TEST(FixedintConversion, StoresMagnitudeDigitsWithTheSignApart) {
  const struct {
    std::uint64_t length;
    std::int64_t value;
    const char* places;
  } cases[] = {
      {5, 123, "00123"},
      {5, -42, "-00042"},
      {1, 0, "0"},
      {3, 999, "999"},
      {19, int64min, "-9223372036854775808"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.places);
    tracecapture cap;
    {
      const fixedint n(c.length, c.value);
      EXPECT_EQ(placesof(n), c.places);
      EXPECT_EQ(n.size, c.length);
      EXPECT_TRUE(n.numsigned && !n.throwwhenover);
      EXPECT_EQ(n.getasstdint(), c.value);
      EXPECT_EQ(cap.lines(), creationlines(c.length));
    }
    EXPECT_EQ(cap.lines(), concat({creationlines(c.length), numbersgone()}));
  }
}

// A number whose value does not fit never came into being, so no
// destruction line follows; a refused assignment changes nothing.
TEST(FixedintConversion, ValuesTooLongAreRefused) {
  const struct {
    std::uint64_t length;
    std::int64_t value;
  } cases[] = {{3, 1234}, {3, -1000}, {0, 0}, {18, int64min}, {18, int64max}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    tracecapture cap;
    EXPECT_EQ(whatof<std::out_of_range>(
                  [&] { static_cast<void>(fixedint(c.length, c.value)); }),
              toolong);
    EXPECT_EQ(cap.lines(), creationlines(c.length));
  }
  for (const bool numsigned : {true, false}) {
    fixedint n(3, -456);
    n.numsigned = numsigned;
    tracecapture cap;
    EXPECT_EQ(whatof<std::out_of_range>([&] { n = 1234; }), toolong);
    EXPECT_EQ(whatof<std::out_of_range>([&] { n = -1000; }), toolong);
    EXPECT_EQ(placesof(n), "-456");
    EXPECT_EQ(n.numsigned, numsigned);
    EXPECT_TRUE(cap.lines().empty());
  }
}

TEST(FixedintConversion, AssignmentClearsHigherPlacesAndHonoursNumsigned) {
  fixedint n(5, 98765);
  tracecapture cap;
  n = 3;
  EXPECT_EQ(placesof(n), "00003");
  n = -42;
  EXPECT_EQ(placesof(n), "-00042");
  // Unsigned: the magnitude is stored and the sign the number had stays.
  n.numsigned = false;
  n = 7;
  EXPECT_EQ(placesof(n), "-00007");
  n.isneg = false;
  n = -42;
  EXPECT_EQ(placesof(n), "00042");
  EXPECT_TRUE(cap.lines().empty());

  // A caller who set `size` without the digits gets them back in step
  // rather than writes past the vector.
  fixedint grown(2);
  grown.size = 5;
  grown = 12345;
  EXPECT_EQ(placesof(grown), "12345");
  fixedint shrunk(5, 999);
  shrunk.size = 2;
  shrunk = 7;
  EXPECT_EQ(placesof(shrunk), "07");
}

TEST(FixedintResize, ShrinkingDropsTopPlacesGrowingAddsZeros) {
  const struct {
    std::int64_t value;
    std::uint64_t length;
    const char* places;
  } cases[] = {{-123, 2, "-23"}, {123, 7, "0000123"}, {-123, 0, "-"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.places);
    fixedint n(5, c.value);
    n.numsigned = false;
    n.throwwhenover = true;
    tracecapture cap;
    n.resize(c.length);
    EXPECT_EQ(cap.lines(), resizelines(c.length));
    EXPECT_EQ(placesof(n), c.places);
    EXPECT_EQ(n.size, c.length);
    EXPECT_TRUE(!n.numsigned && n.throwwhenover);
  }
  // A length the vector cannot hold must not leave size disagreeing with
  // the digits, which every loop over them trusts.
  fixedint n(3, -5);
  EXPECT_THROW(n.resize(std::uint64_t{1} << 63), std::length_error);
  EXPECT_EQ(placesof(n), "-005");
  EXPECT_EQ(n.size, 3u);
}

TEST(FixedintAsstring, StripsLeadingZerosAndPrintsOddElementsByValue) {
  const struct {
    digitvector digits;
    bool negative;
    const char* text;
  } cases[] = {
      {{0, 0, 0, 0}, false, "0"},
      {{0, 0, 0, 0}, true, "-0"},
      {{5, 0, 0}, true, "-5"},
      {{3, -4, 0}, false, "-43"},
      {{12, 0}, false, "12"},
      {{0, 10, 0}, true, "-100"},
      {{7, 0, -1, 0}, false, "-107"},
      {{-128}, false, "-128"},
      {{}, false, ""},
      {{}, true, "-"},
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
  EXPECT_EQ(withdigits({0, 0, 0}).getshorteneddigits(), digitvector{});
  EXPECT_EQ(withdigits({0, 2, 1, 0}).getshorteneddigits(),
            (digitvector{0, 2, 1}));
  EXPECT_EQ(withdigits({0, -1, 0}).getshorteneddigits(), (digitvector{0, -1}));
}

// Copies by constructor or assignment are silent until destroyed; getcopy
// and abs make a number by length and log it.  All carry the flags.
TEST(FixedintCopy, CopiesCarryEverythingAndLogAsTheyAreMade) {
  fixedint source(4, -321);
  source.numsigned = false;
  source.throwwhenover = true;
  const auto expectsame = [&](const fixedint& copy, bool negative) {
    EXPECT_EQ(placesof(copy), (negative ? "-" : "") + std::string("0321"));
    EXPECT_EQ(copy.size, 4u);
    EXPECT_TRUE(!copy.numsigned && copy.throwwhenover);
  };
  tracecapture cap;
  {
    fixedint copy(source);
    expectsame(copy, true);
    copy.digits[0] = 9;
    EXPECT_EQ(source.digits[0], 1);
    fixedint target(7, 5);
    tracecapture::reset();
    target = source;
    expectsame(target, true);
    EXPECT_TRUE(cap.lines().empty());
  }
  EXPECT_EQ(cap.lines(), numbersgone(2)); // the copy and the target
  tracecapture::reset();
  expectsame(source.getcopy(), true);
  expectsame(source.abs(), false);
  EXPECT_EQ(cap.lines(), concat({creationlines(4), resultgone(),
                                 creationlines(4), resultgone()}));
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

TEST(FixedintAsdouble, MatchesStrtodOfAsstring) {
  const testseed seed(104);
  expectnearestonrandomdigits(seed, withdigits);
}

TEST(FixedintAsdouble, TiesToEvenOverflowsAndRefusesMalformedDigits) {
  const fixedint n(17, "9007199254740993"); // 2^53 + 1: a tie, to even
  EXPECT_EQ(n.asdouble(), 9007199254740992.0);
  EXPECT_EQ(fixedint(400, "-" + std::string(399, '9')).asdouble(), -HUGE_VAL);
  fixedint malformed(2, 5);
  malformed.digits[1] = 11;
  tracecapture cap;
  EXPECT_EQ(whatof<std::domain_error>([&] { malformed.asdouble(); }),
            "Malformed digits!");
  EXPECT_TRUE(cap.lines().empty());
}

} // namespace

// Members a caller wrote out of step, each way on both classes.  An
// operation reading a number refuses it before making or logging anything
// (only its callers' copies go); fixedfloat + - / and round keep "Malformed
// digits!" for digits that do not match size.  Writing a whole value puts
// the number back in step.
TEST(OutOfStep, ReadingRefusesWritingAValueRebuilds) {
  using VELDRA::fixedfloat;
  struct numbers {
    fixedint a{8, 42};
    fixedfloat b{8, "12.5"};
    fixedfloat ok{8}; // in step
    char text[64] = "7";
  };
  enum outcome { refused, malformedfirst, rebuilt };
  // clang-format off
#define OUTOFSTEP(expected, ...) \
  {#__VA_ARGS__, expected, [](numbers& n) { static_cast<void>(__VA_ARGS__); }}
  // clang-format on
  const struct {
    const char* op;
    outcome expected;
    void (*run)(numbers&);
  } cases[] = {
      OUTOFSTEP(refused, n.a + n.a),
      OUTOFSTEP(refused, n.a - n.a),
      OUTOFSTEP(refused, n.a * n.a),
      OUTOFSTEP(refused, n.a / n.a),
      OUTOFSTEP(refused, n.a ^ n.a),
      OUTOFSTEP(refused, n.a << n.a),
      OUTOFSTEP(refused, n.a == n.a),
      OUTOFSTEP(refused, n.a < n.a),
      OUTOFSTEP(refused, ++n.a),
      OUTOFSTEP(refused, n.a.resize(4)),
      OUTOFSTEP(refused, n.a.asstring()),
      OUTOFSTEP(refused, n.a.asdouble()),
      OUTOFSTEP(refused, n.a.getcopy()),
      OUTOFSTEP(refused, VELDRA::to_chars(n.text, n.text + 64, n.a)),
      OUTOFSTEP(refused, n.ok = n.a),
      OUTOFSTEP(refused, n.b * n.b),
      OUTOFSTEP(malformedfirst, n.b / n.b),
      OUTOFSTEP(malformedfirst, n.b + n.b),
      OUTOFSTEP(malformedfirst, n.b.round(1, VELDRA::roundmode::up)),
      OUTOFSTEP(refused, n.b == n.b),
      OUTOFSTEP(refused, n.b.resize(4)),
      OUTOFSTEP(refused, n.b.asstring()),
      OUTOFSTEP(refused, VELDRA::to_chars(n.text, n.text + 64, n.b)),
      OUTOFSTEP(malformedfirst, n.b.asstring(1, VELDRA::roundmode::up)),
      OUTOFSTEP(malformedfirst, VELDRA::to_chars(n.text, n.text + 64, n.b, 1,
                                                 VELDRA::roundmode::up)),
      OUTOFSTEP(refused, n.b.getintpart()),
      OUTOFSTEP(refused, n.ok.digits = n.b),
      OUTOFSTEP(rebuilt, n.a = 7, n.b = "1.5"),
      OUTOFSTEP(rebuilt, n.a = "7", n.b.init(8)),
      OUTOFSTEP(rebuilt, std::istringstream("7 1.5") >> n.a >> n.b),
      OUTOFSTEP(rebuilt, n.a = 7, n.b = 1.5f),
      OUTOFSTEP(rebuilt, VELDRA::from_chars(n.text, n.text + 1, n.a),
                VELDRA::from_chars(n.text, n.text + 1, n.b)),
  };
#undef OUTOFSTEP
  const struct {
    const char* name;
    void (*skew)(numbers&);
  } ways[] = {
      {"size set alone", [](numbers& n) { n.a.size += 3, n.b.size += 2; }},
      {"digits resized alone",
       [](numbers& n) { n.a.digits.resize(2), n.b.digits.digits.resize(12); }},
      {"size of a fixedfloat's digits set alone",
       [](numbers& n) { n.a.size -= 1, n.b.digits.size += 2; }},
  };
  for (const auto& way : ways) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.op) + ", " + way.name);
      numbers n;
      way.skew(n);
      const intstate a(n.a);
      const floatstate b(n.b);
      const bool shortdigits = n.b.digits.digits.size() != n.b.size;
      tracecapture cap;
      if (c.expected == rebuilt) {
        c.run(n);
        EXPECT_TRUE(n.a.digits.size() == n.a.size &&
                    n.b.digits.size == n.b.size &&
                    n.b.digits.digits.size() == n.b.size);
        continue;
      }
      EXPECT_EQ(whatof<std::logic_error>([&] { c.run(n); }),
                c.expected == malformedfirst && shortdigits
                    ? "Malformed digits!"
                    : "Size and digits out of step!");
      EXPECT_TRUE(intstate(n.a) == a && floatstate(n.b) == b);
      for (const std::string& line : cap.lines()) {
        EXPECT_TRUE(line == "Deleted fixedint object." ||
                    line == "Deleting fixedfloat object!")
            << line;
      }
    }
  }
}
