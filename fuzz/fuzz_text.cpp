// Fuzzes decimal text into numbers.  Arbitrary bytes go to both text
// constructors, both text assignments, both stream inputs and both
// from_chars, at lengths, signs and flags taken from the input.  A reading
// of the grammar made here, character by character with GMP for the
// exponent, says what each must do: accept (from_chars the longest prefix),
// holding exactly the digits and sign read, or refuse exactly as documented
// with the number unchanged.  Accepted numbers must read back equal from
// asstring(), hash alike, give the same text by to_chars and strtod's double
// for it; fixed-point numbers read from text are also rounded (as numbers
// and as text), divided and re-scaled against GMP.
#include "fuzzcheck.hpp"
#include "support/floatmodel.hpp"
#include "support/roundref.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ios>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using VELDRA::fixedfloat;
using VELDRA::fixedint;
using VELDRA::roundmode;
using namespace veldrafuzz;
using veldratest::floatstate;
using veldratest::powerof10;

// Long enough to pass the double range (309 integer digits) both ways.
constexpr std::uint64_t maxlength = 700;
constexpr std::size_t maxtext = 800;

// A text as the grammar reads it: a sign, digits and, with `allowpoint`, one
// point among them, at least one digit in all, then optionally 'e' or 'E',
// a sign and one or more digits.  The value is digits × 10^scale.
struct reading {
  bool valid = false;
  bool negative = false;
  std::string digits; // without zeros at either end; empty for zero
  bigint scale;
  bigint integerdigits;  // how many the value has before the point
  bigint fractiondigits; // and after it
  std::string integer;   // those digits, when there are not too many
  std::string fraction;
};

bool above(const bigint& count, std::uint64_t limit) {
  return mpz_cmp_ui(count.get(), limit) > 0;
}

bool isdigit(char c) { return c >= '0' && c <= '9'; }

// The length of the longest prefix of `text` in the grammar; 0 for none.
std::size_t matched(const std::string& text, bool allowpoint) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    ++i;
  }
  bool point = false;
  bool anydigit = false;
  for (; i < text.size(); ++i) {
    if (isdigit(text[i])) {
      anydigit = true;
    } else if (text[i] == '.' && allowpoint && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (!anydigit) {
    return 0;
  }
  std::size_t j = i + 1;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    j += j < text.size() && (text[j] == '+' || text[j] == '-') ? 1 : 0;
    std::size_t end = j;
    while (end < text.size() && isdigit(text[end])) {
      ++end;
    }
    i = end > j ? end : i;
  }
  return i;
}

reading read(const std::string& text, bool allowpoint) {
  reading r;
  r.valid = !text.empty() && matched(text, allowpoint) == text.size();
  if (!r.valid) {
    return r;
  }
  r.negative = text[0] == '-';
  std::size_t i = text[0] == '+' || text[0] == '-' ? 1 : 0;
  long afterpoint = -1;
  for (; i < text.size() && text[i] != 'e' && text[i] != 'E'; ++i) {
    if (text[i] == '.') {
      afterpoint = 0;
    } else {
      r.digits += text[i];
      afterpoint += afterpoint >= 0 ? 1 : 0;
    }
  }
  if (i < text.size()) {
    const std::string exponent =
        text.substr(text[i + 1] == '+' ? i + 2 : i + 1);
    mpz_set_str(r.scale.get(), exponent.c_str(), 10);
  }
  mpz_sub_ui(r.scale.get(), r.scale.get(),
             static_cast<unsigned long>(std::max(afterpoint, 0L)));
  const std::size_t kept = r.digits.find_last_not_of('0') + 1;
  mpz_add_ui(r.scale.get(), r.scale.get(), r.digits.size() - kept);
  r.digits.erase(kept);
  r.digits.erase(0, r.digits.find_first_not_of('0'));
  if (r.digits.empty()) {
    return r;
  }
  // Before the point: digits + scale of them; after it: -scale.
  mpz_add_ui(r.integerdigits.get(), r.scale.get(), r.digits.size());
  mpz_neg(r.fractiondigits.get(), r.scale.get());
  for (bigint* count : {&r.integerdigits, &r.fractiondigits}) {
    if (mpz_sgn(count->get()) < 0) {
      mpz_set_ui(count->get(), 0);
    }
  }
  if (!above(r.integerdigits, maxlength) &&
      !above(r.fractiondigits, maxlength)) {
    const long scale = mpz_get_si(r.scale.get());
    const auto n = static_cast<long>(r.digits.size());
    const std::string all =
        std::string(static_cast<std::size_t>(std::max(-scale - n, 0L)), '0') +
        r.digits +
        std::string(static_cast<std::size_t>(std::max(scale, 0L)), '0');
    const std::size_t split = all.size() - mpz_get_ui(r.fractiondigits.get());
    r.integer = all.substr(0, split);
    r.fraction = all.substr(split);
  }
  return r;
}

// The failure a text must meet in a number of `length`, or none.
failure predict(const fixedint&, const reading& r, std::uint64_t length) {
  if (!r.valid || mpz_sgn(r.fractiondigits.get()) > 0) {
    return failure::textnotinteger;
  }
  if (above(r.integerdigits, length)) {
    return failure::intbigger;
  }
  return failure::none;
}

failure predict(const fixedfloat&, const reading& r, std::uint64_t length) {
  if (length % 2 != 0) {
    return failure::oddlength;
  }
  if (!r.valid) {
    return failure::textnotdecimal;
  }
  if (above(r.integerdigits, length / 2)) {
    return failure::textintpart;
  }
  if (above(r.fractiondigits, length / 2)) {
    return failure::textfraction;
  }
  return failure::none;
}

// Runs `operation`, which must fail exactly as `expected` says, or succeed
// when that is none; true when it succeeded.
template <class Operation> bool meets(failure expected, Operation&& operation) {
  const failure thrown =
      attempt(std::forward<Operation>(operation), {expected});
  check(thrown == expected, "a text that must be refused was accepted");
  return thrown == failure::none;
}

intstate snapshot(const fixedint& n) { return intstate(n); }
floatstate snapshot(const fixedfloat& n) { return floatstate(n); }

std::size_t tracelines() {
  const std::string trace = VELDRA::logstream.str();
  return static_cast<std::size_t>(std::count(trace.begin(), trace.end(), '\n'));
}

// asdouble() is strtod of asstring(); the fuzzer runs in the "C" locale.
void checkdouble(double value, const std::string& text) {
  const double expected = std::strtod(text.c_str(), nullptr);
  check(value == expected && std::signbit(value) == std::signbit(expected),
        "asdouble differs from strtod of asstring");
}

// to_chars writes asstring's text, which fills a buffer of its size.
template <class Number>
void checktochars(const Number& n, const std::string& text) {
  std::string buffer(text.size(), '\0');
  const char* const end = buffer.data() + buffer.size();
  const std::to_chars_result written =
      VELDRA::to_chars(buffer.data(), buffer.data() + buffer.size(), n);
  check(written.ec == std::errc{} && written.ptr == end && buffer == text,
        "to_chars differs from asstring");
}

// An accepted text: the canonical text, the layout, the read-back with its
// hash, to_chars and the double.  Flags other than the sign never change.
void checkread(const fixedint& n, const intstate& before, const reading& r) {
  // An unsigned fixedint keeps its own sign.
  const bool negative = before.numsigned ? r.negative : before.isneg;
  const std::string text = (negative ? "-" : "") +
                           (r.integer.empty() && n.size > 0 ? "0" : r.integer);
  check(n.asstring() == text, "fixedint text not read as written");
  checktochars(n, text);
  check(n.digits.size() == n.size && n.size == before.size &&
            n.numsigned == before.numsigned &&
            n.throwwhenover == before.throwwhenover,
        "fixedint text changed more than digits and sign");
  if (n.size > 0) { // length 0 renders "" or "-", which are no numbers
    const fixedint back(n.size, text);
    check(back.digits == n.digits && back.isneg == n.isneg,
          "fixedint asstring does not read back equal");
    check(std::hash<fixedint>{}(back) == std::hash<fixedint>{}(n),
          "equal fixedints hash apart");
    checkdouble(n.asdouble(), text);
  }
}

void checkread(const fixedfloat& n, const floatstate& before,
               const reading& r) {
  const std::string text = (r.negative ? "-" : "") +
                           (r.integer.empty() && n.size > 0 ? "0" : r.integer) +
                           "." + (r.fraction.empty() ? "0" : r.fraction);
  check(n.asstring() == text, "fixedfloat text not read as written");
  checktochars(n, text);
  check(n.digits.digits.size() == n.size && n.digits.size == n.size &&
            !n.digits.isneg && n.floatsigned == before.floatsigned,
        "fixedfloat text broke the layout");
  const fixedfloat back(n.size, text);
  check(back.digits.digits == n.digits.digits && back.isneg == n.isneg,
        "fixedfloat asstring does not read back equal");
  check(std::hash<fixedfloat>{}(back) == std::hash<fixedfloat>{}(n),
        "equal fixedfloats hash apart");
  checkdouble(n.asdouble(), text);
}

bigint signedscaled(const fixedfloat& n) {
  return floatstate(n).signedscaled();
}

// `n` holds `value` wrapped to its length, a zero never negative.
void checkscaled(const fixedfloat& n, const bigint& value, const char* what) {
  const digitvector d = veldratest::todigits(value, n.size);
  const bool zero = std::all_of(d.begin(), d.end(),
                                [](signed char place) { return place == 0; });
  check(n.digits.digits == d && n.digits.size == n.size && !n.digits.isneg &&
            n.isneg == (mpz_sgn(value.get()) < 0 && !zero),
        what);
}

// C-locale white space, where >> ends a token.
std::vector<std::string> tokens(const std::string& text) {
  const char* space = " \t\n\v\f\r";
  std::vector<std::string> out;
  for (std::size_t begin = text.find_first_not_of(space);
       begin != std::string::npos;) {
    const std::size_t end = text.find_first_of(space, begin);
    out.push_back(text.substr(begin, end - begin));
    begin = text.find_first_not_of(space, end);
  }
  return out;
}

class session {
public:
  session(const std::uint8_t* data, std::size_t size) : input_(data, size) {}

  void run() {
    while (input_.remaining_bytes() > 0) {
      step();
    }
  }

private:
  fuzzinput input_;
  fixedint number_{0};
  fixedfloat point_{0};

  // The operations and how often each is picked.
  void step() {
    static constexpr operation<session> operations[] = {
        {3, [](session& s) { s.construct<fixedint>(s.number_); }},
        {3, [](session& s) { s.construct<fixedfloat>(s.point_); }},
        {2, [](session& s) { s.assignint(); }},
        {2, [](session& s) { s.assign(s.point_); }},
        {2, [](session& s) { s.stream(s.number_); }},
        {2, [](session& s) { s.stream(s.point_); }},
        {1, [](session& s) { s.roundpoint(); }},
        {1, [](session& s) { s.dividepoint(); }},
        {1, [](session& s) { s.resizepoint(); }},
        {2, [](session& s) { s.fromchars(s.number_); }},
        {2, [](session& s) { s.fromchars(s.point_); }},
    };
    runweighted(*this, input_, operations);
  }

  std::uint64_t newlength() {
    const std::uint64_t top = input_.ConsumeBool() ? 24 : maxlength;
    return input_.ConsumeIntegralInRange<std::uint64_t>(0, top);
  }
  // Any bytes, NUL included.
  std::string newtext() {
    const auto length = input_.ConsumeIntegralInRange<std::size_t>(0, maxtext);
    const std::vector<char> bytes = input_.ConsumeBytes<char>(length);
    return std::string(bytes.begin(), bytes.end());
  }

  // Number(length, text): the creation lines alone, whether it is made or
  // refused (then a fixedfloat's digits also go); an accepted one is kept.
  template <class Number> void construct(Number& keep) {
    const std::uint64_t length = newlength();
    const std::string text = newtext();
    const bool point = std::is_same<Number, fixedfloat>::value;
    const reading r = read(text, point);
    resettrace();
    std::optional<Number> made;
    const bool ok = meets(predict(keep, r, length), [&] {
      made.emplace(length, std::string_view(text));
    });
    const std::size_t lines = !point ? 3 : length % 2 != 0 ? 6 : ok ? 13 : 14;
    check(tracelines() == lines, "text construction logged other lines");
    if (ok) {
      const Number fresh(length);
      checkread(*made, snapshot(fresh), r);
      keep = *made;
    }
  }

  // = text logs nothing and changes nothing when it refuses.
  template <class Number> void assign(Number& n) {
    const std::string text = newtext();
    const reading r = read(text, std::is_same<Number, fixedfloat>::value);
    const auto before = snapshot(n);
    resettrace();
    const bool ok = meets(predict(n, r, n.size), [&] { n = text; });
    check(tracelines() == 0, "a text assignment logged");
    if (ok) {
      checkread(n, before, r);
    } else {
      check(snapshot(n) == before, "a refused text changed the number");
    }
  }

  template <class Number> void stream(Number& n) {
    const std::string text = newtext();
    std::istringstream in(text);
    const bool throwing = input_.ConsumeBool();
    if (throwing) {
      in.exceptions(std::ios::failbit);
    }
    for (const std::string& token : tokens(text)) {
      const reading r = read(token, std::is_same<Number, fixedfloat>::value);
      const auto before = snapshot(n);
      const bool ok = extract(in, n, throwing);
      check(ok == (predict(n, r, n.size) == failure::none),
            ">> and = disagree on a token");
      if (ok) {
        checkread(n, before, r);
      } else {
        check(snapshot(n) == before && !in.bad(), ">> failed badly");
        in.clear();
      }
    }
    const auto before = snapshot(n);
    check(!extract(in, n, throwing) && snapshot(n) == before,
          ">> read past the last token");
  }

  // One >>: false when it failed, by failbit or by the exception the mask
  // asked for.
  template <class Number>
  static bool extract(std::istringstream& in, Number& n, bool throwing) {
    try {
      return static_cast<bool>(in >> n);
    } catch (const std::ios_base::failure&) {
      check(throwing, "ios_base::failure without the exception mask");
      return false;
    }
  }

  // from_chars reads the longest prefix in the grammar, stores it as = text
  // does and logs nothing; refused, the number stays as it was.
  template <class Number> void fromchars(Number& n) {
    const std::string text = newtext();
    const std::size_t length =
        matched(text, std::is_same<Number, fixedfloat>::value);
    const reading r =
        read(text.substr(0, length), std::is_same<Number, fixedfloat>::value);
    const failure expected = predict(n, r, n.size);
    const auto before = snapshot(n);
    resettrace();
    const std::from_chars_result got =
        VELDRA::from_chars(text.data(), text.data() + text.size(), n);
    check(tracelines() == 0, "from_chars logged");
    const auto consumed = static_cast<std::size_t>(got.ptr - text.data());
    if (expected == failure::none) {
      check(got.ec == std::errc{} && consumed == length, "from_chars misread");
      checkread(n, before, r);
      return;
    }
    const bool invalid = expected == failure::textnotinteger ||
                         expected == failure::textnotdecimal;
    check(got.ec == (invalid ? std::errc::invalid_argument
                             : std::errc::result_out_of_range) &&
              consumed == (invalid ? 0 : length) && snapshot(n) == before,
          "from_chars refused wrongly");
  }

  void assignint() {
    number_.numsigned = input_.ConsumeBool();
    number_.isneg = input_.ConsumeBool();
    assign(number_);
  }

  void roundpoint() {
    const std::uint64_t h = point_.size / 2;
    const auto places = input_.ConsumeIntegralInRange<std::uint64_t>(0, h + 1);
    const int mode = input_.ConsumeIntegralInRange<int>(0, 7); // 7: no mode
    const failure expected =
        mode == 7 ? failure::unknownroundmode : failure::none;
    const unsigned long k = places < h ? h - places : 0;
    resettrace();
    if (meets(expected, [&] {
          const fixedfloat out =
              point_.round(places, static_cast<roundmode>(mode));
          check(tracelines() == 13, "round logged more than its result made");
          const bigint rounded = veldratest::roundedreference(
              signedscaled(point_), k, static_cast<roundmode>(mode));
          checkscaled(out, rounded, "round differs from GMP");
          // The text is the rounded value, not cut to the length.
          const std::string text =
              point_.asstring(places, static_cast<roundmode>(mode));
          check(tracelines() == 13 &&
                    text == veldratest::placestext(rounded, h, places),
                "asstring(places, mode) differs from GMP");
        })) {
      return;
    }
    check(tracelines() == 0, "a refused round logged");
  }

  void dividepoint() {
    fixedfloat divisor(point_.size);
    const std::string text = newtext();
    if (!meets(predict(divisor, read(text, true), divisor.size),
               [&] { divisor = text; })) {
      return;
    }
    const bigint b = signedscaled(divisor);
    if (mpz_sgn(b.get()) == 0) {
      meets(failure::divisionbyzero,
            [&] { static_cast<void>(point_ / divisor); });
      return;
    }
    bigint quotient = signedscaled(point_);
    mpz_mul(quotient.get(), quotient.get(), powerof10(point_.size / 2).get());
    mpz_tdiv_q(quotient.get(), quotient.get(), b.get());
    checkscaled(point_ / divisor, quotient, "/ differs from GMP");
  }

  void resizepoint() {
    const std::uint64_t length = newlength();
    const floatstate before(point_);
    bigint scaled = before.signedscaled();
    resettrace();
    if (!meets(length % 2 != 0 ? failure::oddlength : failure::none,
               [&] { point_.resize(length); })) {
      check(floatstate(point_) == before && tracelines() == 0,
            "a refused resize changed the number or logged");
      return;
    }
    check(tracelines() == 3 && point_.size == length,
          "resize is not a resize of the digits");
    const std::uint64_t h = before.size / 2;
    const std::uint64_t newh = length / 2;
    if (newh >= h) {
      mpz_mul(scaled.get(), scaled.get(), powerof10(newh - h).get());
    } else {
      mpz_tdiv_q(scaled.get(), scaled.get(), powerof10(h - newh).get());
    }
    checkscaled(point_, scaled, "resize differs from GMP");
  }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  resettrace();
  session(data, size).run();
  return 0;
}
