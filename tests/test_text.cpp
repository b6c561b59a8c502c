// Decimal text into both classes: the grammar and its limits, what each way
// in logs, stream input, and round trips through asstring().
#include "support/floatmodel.hpp"
#include "support/numbers.hpp"
#include "support/testseed.hpp"
#include "support/tracecapture.hpp"

#ifdef VELDRA_TEST_FMT
#include "veldra_fmt.hpp"
#endif

#include <ios>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_set>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using namespace veldratest;
using namespace std::string_view_literals;

const std::string notinteger = "Text is not a decimal integer!";
const std::string notdecimal = "Text is not a decimal number!";

// Texts neither class reads: a sign alone, spaces, separators, exponents
// without digits, other bytes and digit sets (an Arabic-Indic three, a
// fullwidth one).
const std::string_view refusedbyboth[] = {
    ""sv,      "+"sv,   "-"sv,    "--1"sv,      "+-1"sv,
    " 1"sv,    "1 "sv,  "1\n"sv,  "1,000"sv,    "1_000"sv,
    "1e"sv,    "1e+"sv, "e5"sv,   "0x1F"sv,     "inf"sv,
    "nan"sv,   "1-"sv,  "\x80"sv, "\xd9\xa3"sv, "\xef\xbc\x91"sv,
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
  for (const char* text : {".", "-.", "1.2.3", "1..2", "1.-2", "1.5e"}) {
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

const std::string intbigger = "Input int bigger than size!";
const std::string integertoolong =
    "Integer part of text too big to fit in fixedfloat!";
const std::string fractiontoolong =
    "Fraction of text too big to fit in fixedfloat!";

intstate stateof(const fixedint& n) { return intstate(n); }
floatstate stateof(const fixedfloat& f) { return floatstate(f); }

// The text of `number` after `= text`, or the message that refused it, the
// number then unchanged; nothing logged either way.
template <class Number>
std::string assigned(Number number, std::string_view text) {
  const auto before = stateof(number);
  tracecapture cap;
  try {
    number = text;
  } catch (const std::logic_error& e) {
    EXPECT_TRUE(stateof(number) == before && cap.lines().empty());
    return e.what();
  }
  EXPECT_TRUE(cap.lines().empty());
  return number.asstring();
}

TEST(TextInput, ExponentsWeighedWithoutBuildingDigits) {
  const std::string zeros(5000, '0');
  const struct {
    std::string text;
    std::string integer; // at length 4
    std::string point;   // at length 8
  } cases[] = {{"1.25e2", notinteger, "125.0"},
               {"-4E-2", notinteger, "-0.04"},
               {"1e+3", "1000", "1000.0"},
               {"120e-1", "12", "12.0"},
               {"12e-1", notinteger, "1.2"},
               {"12e3", intbigger, integertoolong},
               {"123456e-1", notinteger, integertoolong},
               {"0.0012e3", notinteger, "1.2"},
               {".5E+1", notinteger, "5.0"},
               {"0e99999999999", "0", "0.0"},
               {"-0e-99999999999", "-0", "-0.0"},
               {"1e999999999999999999", intbigger, integertoolong},
               {"1e-99999999999", notinteger, fractiontoolong},
               {"10e9223372036854775807", intbigger, integertoolong},
               {"-.1e-9223372036854775808", notinteger, fractiontoolong},
               {"1e" + zeros + "3", "1000", "1000.0"},
               {"1" + zeros + "e-5000", "1", "1.0"},
               {"0." + zeros + "1e5001", notinteger, "1.0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 40));
    EXPECT_EQ(assigned(fixedint(4, 7), c.text), c.integer);
    EXPECT_EQ(assigned(fixedfloat(8, "1.5"), c.text), c.point);
  }
}

// What from_chars reads of `text` ("value read-length", or the error and
// ptr - first); the number is left as `= prefix` leaves it, or unchanged.
template <class Number>
std::string prefixread(Number number, const std::string& text) {
  Number assignedprefix = number;
  const auto before = stateof(number);
  tracecapture cap;
  const auto [ptr, ec] =
      VELDRA::from_chars(text.data(), text.data() + text.size(), number);
  const std::string read = std::to_string(ptr - text.data());
  EXPECT_TRUE(cap.lines().empty());
  if (ec != std::errc{}) {
    EXPECT_TRUE(stateof(number) == before);
    return (ec == std::errc::invalid_argument ? "invalid " : "range ") + read;
  }
  assignedprefix = std::string_view(text.data(), ptr - text.data());
  EXPECT_TRUE(stateof(number) == stateof(assignedprefix));
  return number.asstring() + " " + read;
}

TEST(TextInput, FromCharsReadsTheLongestPrefix) {
  fixedint n(3, 7);
  n.throwwhenover = true;
  fixedfloat f(4, "1.5");
  f.floatsigned = false;
  const struct {
    std::string text;
    const char* integer; // at length 3
    const char* point;   // at length 4
  } cases[] = {{"-42 apples", "-42 3", "-42.0 3"},
               {"12.5", "12 2", "12.5 4"},
               {"1e", "1 1", "1.0 1"},
               {"1.5e+", "1 1", "1.5 3"},
               {"2E2x", "200 3", "range 3"},
               {"12e-1", "invalid 0", "1.2 5"},
               {"0.001", "0 1", "range 5"},
               {"1234", "range 4", "range 4"},
               {"-0e999999999999999999999", "-0 24", "-0.0 24"},
               {"1e999999999999999999x", "range 20", "range 20"},
               {"", "invalid 0", "invalid 0"},
               {"e5", "invalid 0", "invalid 0"},
               {" 1", "invalid 0", "invalid 0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(prefixread(n, c.text), c.integer);
    EXPECT_EQ(prefixread(f, c.text), c.point);
  }
}

// to_chars writes `text` into a buffer of its size exactly, and refuses one
// character less.
template <class Number>
void expecttochars(const Number& number, const std::string& text) {
  std::string buffer(text.size() + 1, '?');
  char* const first = buffer.data();
  char* const last = first + text.size();
  EXPECT_EQ(VELDRA::to_chars(first, last, number).ptr, last);
  EXPECT_EQ(buffer.substr(0, text.size()), text);
  if (!text.empty()) {
    const auto refused = VELDRA::to_chars(first, last - 1, number);
    EXPECT_EQ(refused.ec, std::errc::value_too_large);
    EXPECT_EQ(refused.ptr, last - 1);
  }
}

// Equal values hash alike in the comparison tests; here, others spread.
TEST(Hashing, EqualValuesShareAKeyAndOthersSpread) {
  std::unordered_set<fixedfloat> prices;
  std::unordered_set<std::size_t> hashes;
  for (int i = 0; i < 1000; ++i) {
    const std::string text = std::to_string(i - 500) + ".25";
    prices.insert(fixedfloat(8, text));
    prices.insert(fixedfloat(12, text + "00"));
    hashes.insert(std::hash<fixedfloat>{}(fixedfloat(8, text)));
    hashes.insert(std::hash<fixedint>{}(fixedint(4, i)));
    tracecapture::reset();
  }
  EXPECT_EQ(prices.size(), 1000u);
  EXPECT_GT(hashes.size(), 1990u);
}

#ifdef VELDRA_TEST_FMT
TEST(Formatting, SpecsAsForNumbersAndNoTrace) {
  const fixedfloat price(8, "21.4892");
  const fixedfloat loss(8, "-1.005");
  const fixedint count(4, -42);
  tracecapture cap;
  EXPECT_EQ(
      fmt::format("{}|{:.2f}|[{:>8.1f}]|{:.0f}", price, price, price, price),
      "21.4892|21.49|[    21.5]|21");
  EXPECT_EQ(fmt::format("{:+09.2f}|{:*^7}|{:08}|{:<5d}|{: }", loss, count,
                        count, count, price),
            "-00001.00|**-42**|-0000042|-42  | 21.4892");
  EXPECT_EQ(fmt::format("{:{}.{}f}|{:\u20ac>4}", price, 9, 3, count),
            "   21.489|\u20ac-42");
  EXPECT_TRUE(cap.lines().empty());
  for (const char* format : {"{:.2}", "{:x}", "{:.f}", "{:{<5}", "{:.1d}"}) {
    EXPECT_THROW(static_cast<void>(fmt::format(fmt::runtime(format), price)),
                 fmt::format_error)
        << format;
  }
  EXPECT_THROW(static_cast<void>(fmt::format("{:.1}", count)),
               fmt::format_error);
}
#else
TEST(Formatting, SpecsAsForNumbersAndNoTrace) {
  GTEST_SKIP() << "fmt was not found: veldra_fmt.hpp is not tested";
}
#endif

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
    // to_chars writes asstring's text, a malformed element included.
    fixedint poked = n;
    fixedfloat pokedpoint = f;
    if (length > 0) {
      poked.digits[source.below(length)] = static_cast<signed char>(round);
      pokedpoint.digits.digits[source.below(length)] =
          static_cast<signed char>(round);
    }
    expecttochars(poked, poked.asstring());
    expecttochars(pokedpoint, pokedpoint.asstring());
  }
}

} // namespace
