// The check every operation makes before it reads a number: its public
// members agree.  Internal: not installed.
#ifndef VELDRA_INSTEP_HPP
#define VELDRA_INSTEP_HPP

#include "messages.hpp"
#include "veldra.hpp"

#include <stdexcept>

namespace VELDRA {
namespace detail {

inline bool instep(const fixedint& number) {
  return number.digits.size() == number.size;
}

inline bool instep(const fixedfloat& number) {
  return number.digits.size == number.size && instep(number.digits);
}

// std::logic_error "Size and digits out of step!" unless every number given
// is in step; O(1).
template <class... Numbers> void requireinstep(const Numbers&... numbers) {
  if (!(instep(numbers) && ...)) {
    throw std::logic_error(message::outofstep);
  }
}

} // namespace detail
} // namespace VELDRA

#endif // VELDRA_INSTEP_HPP
