// fixedfloat: storage, conversion from fixedint and float, and text.  The
// digits are one fixedint of even length; places h and up hold the integer
// part, places 0 to h-1 the fraction (h = size / 2).
#include "digits.hpp"
#include "instep.hpp"
#include "logline.hpp"
#include "messages.hpp"
#include "trace.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace VELDRA {

namespace {

// The integer part must have a 64-bit truncation before anything is made.
void requireint64part(float val) {
  if (!std::isfinite(val)) {
    throw std::out_of_range(detail::message::floatnotfinite);
  }
  // -2^63 and 2^63 are exact in single precision.
  if (!(val >= -9223372036854775808.0f && val < 9223372036854775808.0f)) {
    throw std::out_of_range(detail::message::floatintpart);
  }
}

// val truncated toward zero, back in single precision.
float truncated(float val) {
  return static_cast<float>(static_cast<std::int64_t>(val));
}

// How many times a fraction is multiplied by ten until it is integral within
// 0.001.  Every step is single precision: the digits stored are those of the
// float itself, so 0.123f scales to exactly 123 while 0.01f, just below
// 0.01, scales to 9999999.  A fraction above 0.001 passes 2^23, where floats
// have no fraction bits, within ten rounds.  The library is built with
// -ffp-contract=off, so that no multiply-add is fused into the steps and
// rounded once instead of twice.
unsigned scalefraction(float& fraction) {
  unsigned places = 0;
  while (static_cast<double>(std::fabs(fraction - truncated(fraction))) >
         0.001) {
    fraction *= 10.0f;
    ++places;
  }
  return places;
}

// The body shared by the constructors: digits(0) is made by then.
void startfloat(fixedfloat& number, std::uint64_t length) {
  detail::logline(detail::trace::floatmade);
  number.init(length);
}

// ---------------------------------------------------------------------------
// The trace of `digits = digits * fixedint(size, 10)`, the step by which an
// integer once moved into the upper half one place at a time.  The digits
// now move at once; each step still writes its lines, in their order.
// ---------------------------------------------------------------------------

// The lines of one step: ten is made, the product made at twice the length
// and cut back; the product (once moved into digits) and ten are destroyed.
void logtimesten(std::uint64_t size) {
  detail::trace::numbermade(size);
  detail::trace::numbermade(2 * size);
  detail::trace::numberresized(size);
  detail::trace::numbergone();
  detail::trace::numbergone();
}

// The digits of `number` after `steps` products by ten modulo 10^size, as
// operator* computes each, with the flags of the last product.  Well-formed
// digits move up by `steps` places; malformed ones take the place-by-place
// product one step at a time, for as long as they stay malformed.
void multiplybytens(fixedint& number, std::uint64_t steps) {
  if (steps == 0) {
    return;
  }
  std::vector<detail::digit>& d = number.digits;
  const detail::digit ten[] = {0, 1};
  std::vector<detail::digit> next;
  for (; steps > 0 && !detail::wellformed(d.data(), d.size()); --steps) {
    next.resize(d.size());
    detail::multiplydigits(d.data(), d.size(), ten, 2, next.data(),
                           next.size());
    d.swap(next);
  }
  detail::shiftup(d, steps);
  number.isneg = false;
  number.numsigned = true;
  number.throwwhenover = false;
}

} // namespace

fixedfloat::fixedfloat(std::uint64_t length) : digits(0) {
  startfloat(*this, length);
}

// Not a delegating constructor: a value the assignment refuses means the
// number never existed, so no "Deleting fixedfloat object!" may follow.
fixedfloat::fixedfloat(std::uint64_t length, float val) : digits(0) {
  startfloat(*this, length);
  *this = val;
}

fixedfloat::fixedfloat(const fixedfloat& other) = default;

fixedfloat::~fixedfloat() { detail::logline(detail::trace::floatdestroyed); }

void fixedfloat::init(std::uint64_t length) {
  detail::logline(detail::trace::floatinit, length);
  if (length % 2 != 0) {
    throw std::runtime_error(detail::message::oddlength);
  }
  detail::logline(detail::trace::floatsize);
  detail::logline(detail::trace::floatflags);
  detail::logline(detail::trace::floatdigits);
  {
    // The new digits come first: a length that cannot be held leaves this
    // number as it was, its size matching its digits.
    fixedint zero(length);
    size = length;
    floatsigned = true;
    isneg = false;
    digits = std::move(zero);
  }
  detail::logline(detail::trace::done);
}

fixedint fixedfloat::getintpart() const {
  detail::requireinstep(*this);
  fixedint out = digits.getcopy();
  detail::shiftdown(out.digits, size / 2);
  return out;
}

fixedint fixedfloat::getfractionpart() const {
  detail::requireinstep(*this);
  fixedint out = digits.getcopy();
  detail::shiftup(out.digits, size / 2);
  detail::shiftdown(out.digits, size / 2);
  return out;
}

void fixedfloat::updsign() {
  isneg = digits.isneg;
  digits.isneg = false;
}

fixedfloat& fixedfloat::operator=(fixedint val) {
  const std::uint64_t h = size / 2;
  if (val.size < h) {
    throw std::out_of_range(detail::message::valtoosmall);
  }
  // Made whole in val before it is taken over: if memory runs out, this
  // number is untouched.  Into the integer half, as h multiplications by
  // ten made and logged it; the top place drops out each time.
  val.resize(size);
  const bool negative = val.isneg;
  val.isneg = false;
  multiplybytens(val, h);
  digits = std::move(val);
  isneg = negative;
  for (std::uint64_t i = 0; i < h; ++i) {
    logtimesten(size);
  }
  return *this;
}

fixedfloat& fixedfloat::operator=(float val) {
  requireint64part(val);
  const std::uint64_t h = size / 2;
  const auto integer = static_cast<std::int64_t>(val);
  *this = fixedint(h, integer);

  float fraction = std::fabs(val - static_cast<float>(integer));
  if (fraction == 0.0f) {
    return *this;
  }
  const unsigned places = scalefraction(fraction);
  if (places > h) {
    throw std::length_error(detail::message::floatfraction);
  }
  // The fraction's digits without the zeros after the point, moved so its
  // last digit lands `places` places after the point.
  fixedint temp(size, static_cast<std::int64_t>(fraction));
  detail::shiftup(temp.digits, h - places);
  digits = digits + temp;
  // Values such as -0.5 have no integer part to carry their sign.
  if (val < 0 && !detail::allzero(digits.digits)) {
    isneg = true;
  }
  return *this;
}

std::string fixedfloat::asstring() const {
  detail::requireinstep(*this);
  const std::uint64_t h = size / 2;
  std::string out = isneg ? "-" : "";
  out += getintpart().asstring();
  out += '.';

  fixedint fraction = getfractionpart();
  std::string fracstring = fraction.asstring();
  // The lines of an empty scratch number, made and gone.
  detail::trace::numbermade(0);
  detail::trace::numbergone();
  if (detail::allzero(fraction.digits)) {
    out += '0';
    return out;
  }
  fraction.resize(h);
  // The zeros right after the point, then no trailing zeros.
  const std::size_t used =
      detail::significantlength(fraction.digits.data(), fraction.digits.size());
  fracstring.insert(0, h - used, '0');
  const std::size_t trailing = std::min(
      detail::firstplacenot(fraction.digits.data(), fraction.digits.size(), 0),
      fracstring.size());
  fracstring.erase(fracstring.size() - trailing);
  out += fracstring;
  return out;
}

fixedint& fixedint::operator=(const fixedfloat& val) {
  *this = val.getintpart();
  return *this;
}

fixedfloat fixedfloat::getcopy() const {
  detail::requireinstep(*this);
  fixedfloat newcopy(size);
  newcopy.digits = digits;
  newcopy.floatsigned = floatsigned;
  newcopy.isneg = isneg;
  return newcopy;
}

fixedfloat fixedfloat::abs() const {
  fixedfloat temp = getcopy();
  temp.isneg = false;
  return temp;
}

void fixedfloat::flipsign() { isneg = !isneg; }

std::ostream& operator<<(std::ostream& out, const fixedfloat& number) {
  return out << number.asstring();
}

// As the float constructor; the text assignment lives in text.cpp.
fixedfloat::fixedfloat(std::uint64_t length, std::string_view text)
    : digits(0) {
  startfloat(*this, length);
  *this = text;
}

void fixedfloat::resize(std::uint64_t length) {
  detail::requireinstep(*this);
  if (length % 2 != 0) {
    throw std::runtime_error(detail::message::oddlength);
  }
  const std::uint64_t h = size / 2;
  const std::uint64_t newh = length / 2;
  // Growing makes room before the digits move up; shrinking moves them down
  // before the top goes.  Only growing allocates, and a failure there leaves
  // the number as it was.
  if (newh >= h) {
    digits.resize(length);
    detail::shiftup(digits.digits, newh - h);
  } else {
    detail::shiftdown(digits.digits, h - newh);
    digits.resize(length);
  }
  size = length;
  if (detail::allzero(digits.digits)) {
    isneg = false;
  }
}

std::to_chars_result to_chars(char* first, char* last,
                              const fixedfloat& value) {
  detail::requireinstep(value);
  // asstring's text: the integer digits, the point, and the fraction down
  // to its lowest non-zero place, or "0".
  const std::vector<detail::digit>& d = value.digits.digits;
  const std::size_t h = d.size() / 2;
  const std::size_t low = detail::firstplacenot(d.data(), h, 0);
  const std::uint64_t length =
      (value.isneg ? 1 : 0) +
      (d.empty() ? 0 : detail::integertextlength(d.data() + h, d.size() - h)) +
      1 + (low == h ? 1 : detail::textlength(d.data() + low, h - low));
  if (detail::room(first, last) < length) {
    return {last, std::errc::value_too_large};
  }
  if (value.isneg) {
    *first++ = '-';
  }
  if (!d.empty()) {
    first = detail::writeintegertext(d.data() + h, d.size() - h, first);
  }
  *first++ = '.';
  if (low == h) {
    *first++ = '0';
    return {first, std::errc{}};
  }
  return {detail::writetext(d.data() + low, h - low, first), std::errc{}};
}

} // namespace VELDRA
