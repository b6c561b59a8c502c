// fixedint: storage, lifecycle, shifts, conversion and text.
#include "digits.hpp"
#include "instep.hpp"
#include "logline.hpp"
#include "messages.hpp"
#include "trace.hpp"
#include "veldra.hpp"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace VELDRA {

namespace {

// The body shared by the constructors that take a length.  Not a delegating
// constructor: a number whose value does not fit must never have existed, so
// no destruction line may follow.
void startnumber(fixedint& number, std::uint64_t length) {
  setup();
  number.size = length;
  detail::logline(detail::trace::intmade);
  detail::logline(detail::trace::resizingto, length);
  number.digits.resize(detail::holdable(length));
  detail::logline(detail::trace::done);
}

} // namespace

fixedint::fixedint(std::uint64_t length) { startnumber(*this, length); }

fixedint::fixedint(std::uint64_t length, std::int64_t initial) {
  startnumber(*this, length);
  *this = initial;
}

fixedint::fixedint(const fixedint& other) = default;

fixedint::fixedint(fixedint&& other) noexcept
    : isneg(other.isneg), size(std::exchange(other.size, 0)),
      numsigned(other.numsigned), throwwhenover(other.throwwhenover),
      digits(std::move(other.digits)) {
  other.digits.clear();
}

// Not defaulted: the digits go first, so that if copying them fails, size
// still matches them.
// NOLINTNEXTLINE(modernize-use-equals-default)
fixedint& fixedint::operator=(const fixedint& other) {
  digits = other.digits;
  isneg = other.isneg;
  size = other.size;
  numsigned = other.numsigned;
  throwwhenover = other.throwwhenover;
  return *this;
}

fixedint& fixedint::operator=(fixedint&& other) noexcept {
  isneg = other.isneg;
  size = std::exchange(other.size, 0);
  numsigned = other.numsigned;
  throwwhenover = other.throwwhenover;
  digits = std::move(other.digits);
  other.digits.clear();
  return *this;
}

fixedint::~fixedint() { detail::logline(detail::trace::intdestroyed); }

void fixedint::resize(std::uint64_t length) {
  detail::requireinstep(*this);
  detail::logline(detail::trace::resizerequested);
  detail::logline(detail::trace::resizingto, length);
  digits.resize(detail::holdable(length));
  // Only now: a length the vector cannot hold throws with size still true.
  size = length;
  detail::logline(detail::trace::done);
}

void fixedint::wholeshiftl() {
  detail::requireinstep(*this);
  detail::shiftup(digits, 1);
}

void fixedint::wholeshiftr() {
  detail::requireinstep(*this);
  detail::shiftdown(digits, 1);
}

fixedint& fixedint::operator=(std::int64_t val) {
  const bool shouldbeneg = val < 0;
  // The magnitude in unsigned arithmetic, so INT64_MIN needs no negation.
  const std::uint64_t magnitude = shouldbeneg
                                      ? 0 - static_cast<std::uint64_t>(val)
                                      : static_cast<std::uint64_t>(val);
  if (size < detail::decimallength(magnitude)) {
    throw std::out_of_range(detail::message::intbigger);
  }
  if (numsigned) {
    isneg = shouldbeneg;
  }
  // Rebuilt at `size` places: a caller who set `size` alone is not written
  // past the end of the vector.
  digits.resize(detail::holdable(size));
  detail::wordtodigits(magnitude, digits.data(), digits.size());
  return *this;
}

std::string fixedint::asstring() const {
  detail::requireinstep(*this);
  std::string out;
  out.reserve(digits.size() + 1);
  detail::appendtext(digits.data(), digits.size(), out);
  // Leading zeros go, one digit stays: the cut works on the text, so it
  // also applies where a malformed element rendered as several characters.
  const std::size_t first = out.find_first_not_of('0');
  if (first == std::string::npos) {
    out.erase(0, out.empty() ? 0 : out.size() - 1);
  } else {
    out.erase(0, first);
  }
  if (isneg) {
    out.insert(out.begin(), '-');
  }
  return out;
}

std::int64_t fixedint::getasstdint() const {
  detail::requireinstep(*this);
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) +
      (isneg ? 1 : 0);
  std::uint64_t magnitude = 0;
  switch (detail::readword(digits.data(), digits.size(), limit, magnitude)) {
  case detail::wordread::malformed:
    throw std::overflow_error(detail::message::malformedint64);
  case detail::wordread::toolarge:
    throw std::overflow_error(detail::message::notint64);
  case detail::wordread::fits:
    break;
  }
  // -2^63 is the one magnitude without a positive int64_t counterpart.
  return isneg ? static_cast<std::int64_t>(0 - magnitude)
               : static_cast<std::int64_t>(magnitude);
}

std::vector<signed char> fixedint::getshorteneddigits() const {
  detail::requireinstep(*this);
  const std::size_t used =
      detail::significantlength(digits.data(), digits.size());
  return std::vector<signed char>(digits.begin(), digits.begin() + used);
}

fixedint fixedint::getcopy() const {
  detail::requireinstep(*this);
  fixedint newcopy(size);
  newcopy.isneg = isneg;
  newcopy.numsigned = numsigned;
  newcopy.throwwhenover = throwwhenover;
  std::copy(digits.begin(), digits.end(), newcopy.digits.begin());
  return newcopy;
}

fixedint fixedint::abs() const {
  fixedint temp = getcopy();
  temp.isneg = false;
  return temp;
}

void fixedint::flipsign() { isneg = !isneg; }

// As the integer constructor: the three creation lines, then the text
// assignment (text.cpp), whose refusal means the number never existed.
fixedint::fixedint(std::uint64_t length, std::string_view text) {
  startnumber(*this, length);
  *this = text;
}

std::to_chars_result to_chars(char* first, char* last, const fixedint& value) {
  detail::requireinstep(value);
  // asstring's text: the sign, then nothing at length 0.
  const std::vector<detail::digit>& d = value.digits;
  const std::size_t length =
      (value.isneg ? 1 : 0) +
      (d.empty() ? 0 : detail::integertextlength(d.data(), d.size()));
  if (detail::room(first, last) < length) {
    return {last, std::errc::value_too_large};
  }
  if (value.isneg) {
    *first++ = '-';
  }
  if (!d.empty()) {
    first = detail::writeintegertext(d.data(), d.size(), first);
  }
  return {first, std::errc{}};
}

} // namespace VELDRA
