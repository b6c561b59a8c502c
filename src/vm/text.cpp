// Decimal text into both number classes (assignment and stream input; the
// constructors sit beside the others), and the nearest double to a number,
// read back from the text of its digits.
#include "digits.hpp"
#include "instep.hpp"
#include "messages.hpp"
#include "veldra.hpp"

#include <charconv>
#include <istream>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

namespace VELDRA {

namespace {

// One whitespace-delimited token as text for `number`; a text the
// assignment refuses (a logic_error: invalid, too long) sets failbit.  The
// assignment changes nothing when it throws.
template <class Number>
std::istream& readtoken(std::istream& in, Number& number) {
  std::string token;
  if (in >> token) {
    try {
      number = std::string_view(token);
    } catch (const std::logic_error&) {
      in.setstate(std::ios::failbit);
    }
  }
  return in;
}

// The nearest double to ±(the places d) / 10^scale.  std::from_chars rounds
// "<digits>e-<scale>" correctly and, unlike strtod, whatever the locale.
double nearestdouble(const std::vector<detail::digit>& d, std::uint64_t scale,
                     bool negative) {
  if (!detail::wellformed(d.data(), d.size())) {
    throw std::domain_error(detail::message::malformed);
  }
  const std::size_t used = detail::significantlength(d.data(), d.size());
  double value = 0.0;
  if (used != 0) {
    std::string text;
    detail::appendtext(d.data(), used, text);
    text += "e-" + std::to_string(scale);
    const auto read =
        std::from_chars(text.data(), text.data() + text.size(), value);
    // Out of range, the value is left alone: it overflowed when the number
    // has integer digits, and underflowed otherwise.
    if (read.ec == std::errc::result_out_of_range) {
      value = used > scale ? std::numeric_limits<double>::infinity() : 0.0;
    }
  }
  return negative ? -value : value;
}

} // namespace

fixedint& fixedint::operator=(std::string_view text) {
  detail::decimaltext parts;
  if (!detail::readdecimal(text, false, parts)) {
    throw std::invalid_argument(detail::message::textnotinteger);
  }
  if (parts.integer.size() > size) {
    throw std::out_of_range(detail::message::intbigger);
  }
  // Rebuilt at `size` places, as for int64_t.
  digits.assign(size, 0);
  detail::placesfromtext(parts.integer, digits.data());
  if (numsigned) {
    isneg = parts.negative;
  }
  return *this;
}

fixedfloat& fixedfloat::operator=(std::string_view text) {
  detail::decimaltext parts;
  if (!detail::readdecimal(text, true, parts)) {
    throw std::invalid_argument(detail::message::textnotdecimal);
  }
  const std::uint64_t h = size / 2;
  if (parts.integer.size() > h) {
    throw std::out_of_range(detail::message::textintpart);
  }
  if (parts.fraction.size() > h) {
    throw std::length_error(detail::message::textfraction);
  }
  // The integer digits from place h up, the fraction's first digit at
  // place h - 1.
  std::vector<detail::digit>& places = digits.digits;
  places.assign(size, 0);
  detail::placesfromtext(parts.integer, places.data() + h);
  detail::placesfromtext(parts.fraction,
                         places.data() + h - parts.fraction.size());
  digits.size = size;
  digits.isneg = false;
  isneg = parts.negative;
  return *this;
}

std::istream& operator>>(std::istream& in, fixedint& number) {
  return readtoken(in, number);
}

std::istream& operator>>(std::istream& in, fixedfloat& number) {
  return readtoken(in, number);
}

double fixedint::asdouble() const {
  detail::requireinstep(*this);
  return nearestdouble(digits, 0, isneg);
}

double fixedfloat::asdouble() const {
  detail::requireinstep(*this);
  return nearestdouble(digits.digits, size / 2, isneg);
}

} // namespace VELDRA
