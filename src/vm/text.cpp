// Decimal text into both number classes (assignment, from_chars and stream
// input; the constructors sit beside the others), and the nearest double to
// a number, read back from the text of its digits.
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
// "<digits>e-<scale>" correctly and, unlike strtod, whatever the locale;
// without it the digit layer works the double out itself.
double nearestdouble(const std::vector<detail::digit>& d, std::uint64_t scale,
                     bool negative) {
  if (!detail::wellformed(d.data(), d.size())) {
    throw std::domain_error(detail::message::malformed);
  }
  const std::size_t used = detail::significantlength(d.data(), d.size());
  double value = 0.0;
  if (used != 0) {
#if defined(VELDRA_PORTABLE) || !defined(__cpp_lib_to_chars)
    value = detail::decimaltodouble(d.data(), used, scale);
#else
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
#endif
  }
  return negative ? -value : value;
}

// What a read text asks of a number.
enum class textfit { fits, notanumber, integertoolong, fractiontoolong };

// A fixedint takes an integer of at most `size` significant digits.
textfit fitof(const fixedint& number, const detail::decimaltext& parts) {
  if (parts.zero) {
    return textfit::fits;
  }
  if (parts.low < 0) {
    return textfit::notanumber;
  }
  return static_cast<std::uint64_t>(parts.high) >= number.size
             ? textfit::integertoolong
             : textfit::fits;
}

// A fixedfloat takes at most h digits on either side of the point.
textfit fitof(const fixedfloat& number, const detail::decimaltext& parts) {
  const std::uint64_t h = number.size / 2;
  if (parts.zero) {
    return textfit::fits;
  }
  if (parts.high >= 0 && static_cast<std::uint64_t>(parts.high) >= h) {
    return textfit::integertoolong;
  }
  if (parts.low < 0 && 0 - static_cast<std::uint64_t>(parts.low) > h) {
    return textfit::fractiontoolong;
  }
  return textfit::fits;
}

[[noreturn]] void refuse(const fixedint&, textfit fit) {
  if (fit == textfit::notanumber) {
    throw std::invalid_argument(detail::message::textnotinteger);
  }
  throw std::out_of_range(detail::message::intbigger);
}

[[noreturn]] void refuse(const fixedfloat&, textfit fit) {
  if (fit == textfit::notanumber) {
    throw std::invalid_argument(detail::message::textnotdecimal);
  }
  if (fit == textfit::integertoolong) {
    throw std::out_of_range(detail::message::textintpart);
  }
  throw std::length_error(detail::message::textfraction);
}

bool allowspoint(const fixedint&) { return false; }
bool allowspoint(const fixedfloat&) { return true; }

// The text's value, which fits: rebuilt at `size` places, as for int64_t.
void store(fixedint& number, const detail::decimaltext& parts) {
  number.digits.assign(detail::holdable(number.size), 0);
  detail::placesfromtext(parts, number.digits.data());
  if (number.numsigned) {
    number.isneg = parts.negative;
  }
}

// The integer digits from place h up, the fraction below; the length and
// the flags of `digits` stay.
void store(fixedfloat& number, const detail::decimaltext& parts) {
  std::vector<detail::digit>& places = number.digits.digits;
  places.assign(detail::holdable(number.size), 0);
  detail::placesfromtext(parts, places.data() + number.size / 2);
  number.digits.size = number.size;
  number.digits.isneg = false;
  number.isneg = parts.negative;
}

// The whole of `text`, or an exception with the number unchanged.
template <class Number>
Number& assigntext(Number& number, std::string_view text) {
  detail::decimaltext parts;
  const textfit fit = detail::readdecimal(text, allowspoint(number), parts)
                          ? fitof(number, parts)
                          : textfit::notanumber;
  if (fit != textfit::fits) {
    refuse(number, fit);
  }
  store(number, parts);
  return number;
}

// The longest prefix of [first, last) that is a number's text, as
// from_chars reads it.
template <class Number>
std::from_chars_result readprefix(const char* first, const char* last,
                                  Number& number) {
  detail::decimaltext parts;
  const std::size_t read = detail::scandecimal(
      {first, detail::room(first, last)}, allowspoint(number), parts);
  const textfit fit = read != 0 ? fitof(number, parts) : textfit::notanumber;
  switch (fit) {
  case textfit::notanumber:
    return {first, std::errc::invalid_argument};
  case textfit::fits:
    store(number, parts);
    return {first + read, std::errc{}};
  default:
    return {first + read, std::errc::result_out_of_range};
  }
}

} // namespace

fixedint& fixedint::operator=(std::string_view text) {
  return assigntext(*this, text);
}

fixedfloat& fixedfloat::operator=(std::string_view text) {
  return assigntext(*this, text);
}

std::from_chars_result from_chars(const char* first, const char* last,
                                  fixedint& value) {
  return readprefix(first, last, value);
}

std::from_chars_result from_chars(const char* first, const char* last,
                                  fixedfloat& value) {
  return readprefix(first, last, value);
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
