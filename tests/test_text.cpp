// Decimal text into both classes: the grammar and its limits, what each way
// in logs, stream input, and round trips through asstring().
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#include <ios>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldratest;
using namespace std::string_view_literals;

const std::string notinteger = "Text is not a decimal integer!";
const std::string notdecimal = "Text is not a decimal number!";

// Texts neither class reads: a sign alone, spaces, separators, exponents,
// other bytes and digit sets (an Arabic-Indic three, a fullwidth one).
const std::string_view refusedbyboth[] = {
    ""sv,      "+"sv,   "-"sv,     "--1"sv,   "+-1"sv,      " 1"sv,
    "1 "sv,    "1\n"sv, "1,000"sv, "1_000"sv, "1e5"sv,      "0x1F"sv,
    "inf"sv,   "nan"sv, "1-"sv,    "\x80"sv,  "\xd9\xa3"sv, "\xef\xbc\x91"sv,
    "1\0002"sv};

TEST(FixedintTextInput, SignsLeadingZerosAndTheLengthBoundary) {
  const struct {
    std::uint64_t length;
    const char* text;
    const char* places;
  } cases[] = {{5, "123", "00123"},
               {5, "+123", "00123"},
               {5, "-42", "-00042"},
               {3, "000123", "123"},
               {3, "999", "999"},
               {3, "-0000999", "-999"},
               {2, "-0", "-00"},
               {2, "+00", "00"},
               {0, "0", ""},
               {0, "-000", "-"},
               {20, "-12345678901234567890", "-12345678901234567890"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tracecapture cap;
    const fixedint n(c.length, c.text);
    EXPECT_EQ(placesof(n), c.places);
    EXPECT_TRUE(n.numsigned && !n.throwwhenover);
    EXPECT_EQ(cap.lines(), creationlines(c.length));
  }
  // One significant digit over: refused whatever the zeros in front.
  for (const char* text : {"1000", "-1000", "0001000"}) {
    tracecapture cap;
    EXPECT_EQ(whatof<std::out_of_range>([&] { fixedint n(3, text); }),
              "Input int bigger than size!");
    EXPECT_EQ(cap.lines(), creationlines(3)); // never existed: no deletion
  }
}

TEST(FixedintTextInput, RefusedTextChangesNothingAndLogsNothing) {
  fixedint n(4, -17);
  n.throwwhenover = true;
  const auto before = intstate(n);
  tracecapture cap;
  for (const std::string_view text : refusedbyboth) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_EQ(whatof<std::invalid_argument>([&] { n = text; }), notinteger);
    EXPECT_EQ(intstate(n), before);
  }
  EXPECT_EQ(whatof<std::invalid_argument>([&] { n = "1.0"; }), notinteger);
  EXPECT_EQ(whatof<std::out_of_range>([&] { n = "12345"; }),
            "Input int bigger than size!");
  EXPECT_EQ(intstate(n), before);
  EXPECT_TRUE(cap.lines().empty());
  // A valid text changes the digits and sign only.
  n = "+0042";
  EXPECT_EQ(placesof(n), "0042");
  EXPECT_TRUE(n.throwwhenover);
  EXPECT_TRUE(cap.lines().empty());
}

// Unsigned numbers drop the text's sign as they drop an int64_t's.
TEST(FixedintTextInput, UnsignedKeepsItsSign) {
  fixedint n(3);
  n.numsigned = false;
  n = "-42";
  EXPECT_EQ(placesof(n), "042");
  n.isneg = true;
  n = "+7";
  EXPECT_EQ(placesof(n), "-007");
}

// The new overloads take no call the integer and float ones took: 0 at
// length 0 is one digit too many as an int64_t, while "0" fits; a float
// assignment logs its scratch numbers, a text assignment nothing.
TEST(TextOverloads, IntegerAndFloatCallsStayWhereTheyWere) {
  fixedint empty(0);
  EXPECT_THROW(empty = 0, std::out_of_range);
  EXPECT_THROW(fixedint(0, 0), std::out_of_range);
  EXPECT_NO_THROW(fixedint(0, "0"));
  EXPECT_EQ(placesof(fixedint(5, 0)), "00000");
  fixedfloat f(8);
  tracecapture cap;
  f = 0.5f;
  EXPECT_FALSE(cap.lines().empty());
  EXPECT_EQ(f.asstring(), "0.5");
  tracecapture::reset();
  f = 0;
  EXPECT_FALSE(cap.lines().empty());
  tracecapture::reset();
  f = "0.25";
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(f.asstring(), "0.25");
}

TEST(FixedfloatTextInput, ExactValuesAndTheirCanonicalText) {
  const struct {
    std::uint64_t length;
    const char* text;
    const char* rendered;
  } cases[] = {{8, "78.9", "78.9"},
               {8, "-0.05", "-0.05"},
               {8, ".5", "0.5"},
               {8, "5.", "5.0"},
               {8, "+5", "5.0"},
               {8, "-0.0", "-0.0"},
               {8, "-.0", "-0.0"},
               {4, "00012.50", "12.5"},
               {4, "99.99", "99.99"},
               {4, "0.0100", "0.01"},
               {0, ".0", ".0"},
               {0, "-000.000", "-.0"},
               {8, "0.1239", "0.1239"},
               {40, "-12345678901234567890.00000000000000000001",
                "-12345678901234567890.00000000000000000001"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    tracecapture cap;
    const fixedfloat f(c.length, std::string_view(c.text));
    EXPECT_EQ(cap.lines(), floatcreationlines(c.length));
    EXPECT_EQ(f.asstring(), c.rendered);
    EXPECT_FALSE(f.digits.isneg);
  }
}

TEST(FixedfloatTextInput, RefusalsInOrderAndUnchanged) {
  fixedfloat f(4, "-1.5");
  const auto before = floatstate(f);
  tracecapture cap;
  for (const std::string_view text : refusedbyboth) {
    SCOPED_TRACE(testing::PrintToString(std::string(text)));
    EXPECT_EQ(whatof<std::invalid_argument>([&] { f = text; }), notdecimal);
  }
  for (const char* text : {".", "-.", "1.2.3", "1..2", "1.-2", "1.5e1"}) {
    EXPECT_EQ(whatof<std::invalid_argument>([&] { f = text; }), notdecimal);
  }
  const std::string intpart =
      "Integer part of text too big to fit in fixedfloat!";
  const std::string fraction = "Fraction of text too big to fit in fixedfloat!";
  EXPECT_EQ(whatof<std::out_of_range>([&] { f = "100"; }), intpart);
  EXPECT_EQ(whatof<std::out_of_range>([&] { f = "100.001"; }), intpart);
  EXPECT_EQ(whatof<std::length_error>([&] { f = "0.001"; }), fraction);
  EXPECT_EQ(floatstate(f), before);
  EXPECT_TRUE(cap.lines().empty());
  // A refused construction ends as a refused float does: the digits go.
  EXPECT_THROW(fixedfloat(4, "0.001"), std::length_error);
  EXPECT_EQ(cap.lines(), concat({floatcreationlines(4), numbersgone()}));
  tracecapture::reset();
  EXPECT_THROW(fixedfloat(3, "1"), std::runtime_error);
}

// One token per >>; a refused one sets failbit alone, leaves the number and
// is consumed; the exception mask decides whether it throws.
TEST(StreamInput, TokensFailuresAndTheExceptionMask) {
  tracecapture cap;
  fixedint n(3);
  std::istringstream in("  42\t-7 4x 1000 5");
  EXPECT_TRUE(in >> n);
  EXPECT_EQ(placesof(n), "042");
  EXPECT_TRUE(in >> n);
  EXPECT_EQ(placesof(n), "-007");
  for (int refused = 0; refused < 2; ++refused) { // "4x", then too long
    EXPECT_FALSE(in >> n);
    EXPECT_TRUE(in.fail() && !in.bad() && !in.eof());
    EXPECT_EQ(placesof(n), "-007");
    in.clear();
  }
  EXPECT_TRUE(in >> n);
  EXPECT_EQ(placesof(n), "005");
  EXPECT_FALSE(in >> n); // nothing left
  EXPECT_TRUE(in.eof() && in.fail());
  EXPECT_EQ(placesof(n), "005");

  fixedfloat f(4);
  std::istringstream prices("19.99 1.999");
  tracecapture::reset();
  EXPECT_TRUE(prices >> f);
  prices.exceptions(std::ios::failbit);
  EXPECT_THROW(prices >> f, std::ios_base::failure);
  EXPECT_TRUE(cap.lines().empty());
  EXPECT_EQ(f.asstring(), "19.99");
}

TEST(TextRoundTrip, AsstringReadsBackEqual) {
  const testseed seed(91);
  operandsource source(seed.value());
  for (int round = 0; round < 3000 && !HasFailure(); ++round) {
    tracecapture::reset();
    const std::size_t length = 2 * source.below(25);
    const fixedint n = withdigits(source.digits(length), source.coin());
    const digitvector scaled = source.digits(length);
    const fixedfloat f = floatwithdigits(scaled, source.coin());
    SCOPED_TRACE(n.asstring() + " and " + f.asstring());
    if (length > 0) { // length 0 renders "" or "-", which are no numbers
      EXPECT_EQ(placesof(fixedint(length, n.asstring())), placesof(n));
    }
    const fixedfloat back(length, f.asstring());
    EXPECT_EQ(back.digits.digits, f.digits.digits);
    EXPECT_EQ(back.isneg, f.isneg);
  }
}

} // namespace
