// Fuzzes decimal text into numbers.  Arbitrary bytes go to both text
// constructors, both text assignments, both stream inputs and both
// from_chars, at lengths, signs and flags taken from the input.  A reading
// of the grammar made here, character by character with GMP for the
// exponent, says what each must do: accept (from_chars the longest prefix),
// holding exactly the digits and sign read, or refuse exactly as documented
// with the number unchanged.  Accepted numbers must read back equal from
// asstring() and give strtod's double for it; fixed-point numbers read from
// text are also rounded (as numbers and as text), divided and re-scaled
// against GMP.
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
// a sign and digits, which move the point.  `prefix` is how much of the text
// that reads (0: none); the text is `valid` when that is all of it.
struct reading {
  bool valid = false;
  bool negative = false;
  std::size_t prefix = 0;
  std::string integer;  // the value's, without leading zeros
  std::string fraction; // without trailing zeros
  // 1 or -1: a value other than zero moved further than any length reaches,
  // up or down.
  int beyond = 0;
};

bool isdigit(char c) { return c >= '0' && c <= '9'; }

// A shift beyond this, which GMP reads whatever its digits, puts any text of
// maxtext digits past maxlength places.
constexpr long farshift = 2000;

// The sign and the mantissa's digits from the text's start; `at` is left
// past them, `point` where the point stood among the digits (npos: none).
std::string readmantissa(const std::string& text, bool allowpoint, reading& r,
                         std::size_t& at, std::size_t& point) {
  std::size_t i = 0;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    r.negative = text[0] == '-';
    i = 1;
  }
  std::string digits;
  point = std::string::npos;
  for (; i < text.size(); ++i) {
    if (isdigit(text[i])) {
      digits += text[i];
    } else if (text[i] == '.' && allowpoint && point == std::string::npos) {
      point = digits.size();
    } else {
      break;
    }
  }
  at = i;
  return digits;
}

// The exponent that may follow the mantissa at `i`, as a shift of the point
// (beyond farshift: farshift + 1); extends r.prefix over it when it reads.
long readexponent(const std::string& text, std::size_t i, reading& r) {
  if (i >= text.size() || (text[i] != 'e' && text[i] != 'E')) {
    return 0;
  }
  std::size_t end = i + 1;
  const bool down = end < text.size() && text[end] == '-';
  end += end < text.size() && (text[end] == '+' || down) ? 1 : 0;
  const std::size_t first = end;
  while (end < text.size() && isdigit(text[end])) {
    ++end;
  }
  if (end == first) {
    return 0;
  }
  r.prefix = end;
  const bigint exponent(text.substr(first, end - first).c_str());
  const long shift = mpz_cmp_ui(exponent.get(), farshift) > 0
                         ? farshift + 1
                         : mpz_get_si(exponent.get());
  return down ? -shift : shift;
}

// Splits the digits, not all zeros, at the point moved by `shift` into
// r.integer and r.fraction.
void placepoint(std::string digits, std::size_t point, long shift, reading& r) {
  long at =
      static_cast<long>(point == std::string::npos ? digits.size() : point) +
      shift;
  if (at < 0) {
    digits.insert(0, static_cast<std::size_t>(-at), '0');
    at = 0;
  }
  digits.resize(std::max(digits.size(), static_cast<std::size_t>(at)), '0');
  r.integer = digits.substr(0, static_cast<std::size_t>(at));
  r.fraction = digits.substr(static_cast<std::size_t>(at));
  r.integer.erase(0, r.integer.find_first_not_of('0'));
  r.fraction.erase(r.fraction.find_last_not_of('0') + 1);
}

reading read(const std::string& text, bool allowpoint) {
  reading r;
  std::size_t i = 0;
  std::size_t point = std::string::npos;
  const std::string digits = readmantissa(text, allowpoint, r, i, point);
  if (digits.empty()) {
    return r;
  }
  r.prefix = i;
  const long shift = readexponent(text, i, r);
  r.valid = r.prefix == text.size();
  if (digits.find_first_not_of('0') == std::string::npos) {
    return r;
  }
  if (shift > farshift || shift < -farshift) {
    r.beyond = shift > 0 ? 1 : -1;
    return r;
  }
  placepoint(digits, point, shift, r);
  return r;
}

// The failure a text must meet in a number of `length`, or none.
failure predict(const fixedint&, const reading& r, std::uint64_t length) {
  if (!r.valid || !r.fraction.empty() || r.beyond < 0) {
    return failure::textnotinteger;
  }
  if (r.integer.size() > length || r.beyond > 0) {
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
  if (r.integer.size() > length / 2 || r.beyond > 0) {
    return failure::textintpart;
  }
  if (r.fraction.size() > length / 2 || r.beyond < 0) {
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

// An accepted text: the canonical text, the layout, the read-back and the
// double.  Flags other than the sign never change.
void checkread(const fixedint& n, const intstate& before, const reading& r) {
  // An unsigned fixedint keeps its own sign.
  const bool negative = before.numsigned ? r.negative : before.isneg;
  const std::string text = (negative ? "-" : "") +
                           (r.integer.empty() && n.size > 0 ? "0" : r.integer);
  check(n.asstring() == text, "fixedint text not read as written");
  check(n.digits.size() == n.size && n.size == before.size &&
            n.numsigned == before.numsigned &&
            n.throwwhenover == before.throwwhenover,
        "fixedint text changed more than digits and sign");
  if (n.size > 0) { // length 0 renders "" or "-", which are no numbers
    const fixedint back(n.size, text);
    check(back.digits == n.digits && back.isneg == n.isneg,
          "fixedint asstring does not read back equal");
    checkdouble(n.asdouble(), text);
  }
}

void checkread(const fixedfloat& n, const floatstate& before,
               const reading& r) {
  const std::string text = (r.negative ? "-" : "") +
                           (r.integer.empty() && n.size > 0 ? "0" : r.integer) +
                           "." + (r.fraction.empty() ? "0" : r.fraction);
  check(n.asstring() == text, "fixedfloat text not read as written");
  check(n.digits.digits.size() == n.size && n.digits.size == n.size &&
            !n.digits.isneg && n.floatsigned == before.floatsigned,
        "fixedfloat text broke the layout");
  const fixedfloat back(n.size, text);
  check(back.digits.digits == n.digits.digits && back.isneg == n.isneg,
        "fixedfloat asstring does not read back equal");
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
        {1, [](session& s) { s.assignskewed(s.number_); }},
        {1, [](session& s) { s.assignskewed(s.point_); }},
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

  // Text assignment rebuilds the digits at the number's length, bringing a
  // number written out of step back in step, or refuses and leaves it.
  template <class Number> void assignskewed(Number n) {
    skew(input_, n);
    assign(n);
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
    reading r = read(text, std::is_same<Number, fixedfloat>::value);
    r.valid = r.prefix > 0;
    const failure expected = predict(n, r, n.size);
    const auto before = snapshot(n);
    resettrace();
    const std::from_chars_result got =
        VELDRA::from_chars(text.data(), text.data() + text.size(), n);
    check(tracelines() == 0, "from_chars logged");
    const auto consumed = static_cast<std::size_t>(got.ptr - text.data());
    if (expected == failure::none) {
      check(got.ec == std::errc{} && consumed == r.prefix,
            "from_chars misread");
      checkread(n, before, r);
      return;
    }
    const bool invalid = expected == failure::textnotinteger ||
                         expected == failure::textnotdecimal;
    check(got.ec == (invalid ? std::errc::invalid_argument
                             : std::errc::result_out_of_range) &&
              consumed == (invalid ? 0 : r.prefix) && snapshot(n) == before,
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
