// GMP as the exact reference for differential tests: conversions between
// digit vectors (least significant first), text and GMP integers, the few
// operations the models build on, and uniform random digits to compare on.
#ifndef VELDRA_TESTS_GMPREF_HPP
#define VELDRA_TESTS_GMPREF_HPP

#include <gmp.h>

#include <climits>
#include <cstddef>
#include <random>
#include <string>
#include <vector>

namespace veldratest {

// Decimal places, least significant first, as the numbers hold them.
using digitvector = std::vector<signed char>;

// An owning GMP integer.
class bigint {
public:
  bigint() { mpz_init(value_); }
  explicit bigint(long v) { mpz_init_set_si(value_, v); }
  explicit bigint(const char* decimal) {
    mpz_init_set_str(value_, decimal, 10);
  }
  bigint(const bigint& other) { mpz_init_set(value_, other.value_); }
  bigint& operator=(const bigint& other) {
    mpz_set(value_, other.value_);
    return *this;
  }
  ~bigint() { mpz_clear(value_); }

  mpz_ptr get() { return value_; }
  mpz_srcptr get() const { return value_; }
  // mpn_get_str: mini-gmp's mpz_get_str first counts the decimal places
  // one division by 10 at a time, a test's slowest step on long numbers.
  std::string str() const {
    const auto size = static_cast<mp_size_t>(mpz_size(value_));
    if (size == 0) {
      return "0";
    }
    std::vector<mp_limb_t> clobbered(mpz_limbs_read(value_),
                                     mpz_limbs_read(value_) + size);
    // log10(2) < 1/3; one more place for the one mpn_get_str may add.
    std::string text(size * sizeof(mp_limb_t) * CHAR_BIT / 3 + 2, '\0');
    text.resize(mpn_get_str(reinterpret_cast<unsigned char*>(text.data()), 10,
                            clobbered.data(), size));
    text.erase(0, text.find_first_not_of('\0')); // leading zeros
    for (char& place : text) {
      place = static_cast<char>('0' + place);
    }
    return mpz_sgn(value_) < 0 ? '-' + text : text;
  }

private:
  mpz_t value_;
};

// The value of well-formed digits, negated when `negative`.
inline bigint fromdigits(const digitvector& digits, bool negative = false) {
  std::string text;
  for (auto place = digits.rbegin(); place != digits.rend(); ++place) {
    text.push_back(static_cast<char>('0' + *place));
  }
  bigint out;
  if (!text.empty()) {
    mpz_set_str(out.get(), text.c_str(), 10);
  }
  if (negative) {
    mpz_neg(out.get(), out.get());
  }
  return out;
}

// |value| mod 10^length as `length` digits, least significant first.
inline digitvector todigits(const bigint& value, std::size_t length) {
  bigint magnitude;
  mpz_abs(magnitude.get(), value.get());
  const std::string text = magnitude.str();
  digitvector out(length, 0);
  for (std::size_t place = 0; place < length && place < text.size(); ++place) {
    out[place] = static_cast<signed char>(text[text.size() - 1 - place] - '0');
  }
  return out;
}

// The places of a decimal text, leading zeros included.
inline digitvector digitsof(const std::string& text) {
  return todigits(bigint(text.c_str()), text.size());
}

// `length` digits 0..9, each uniform.
inline digitvector randomdigits(std::mt19937_64& random, std::size_t length) {
  digitvector d(length);
  for (signed char& place : d) {
    place = static_cast<signed char>(random() % 10);
  }
  return d;
}

// 10^exponent.
inline bigint powerof10(unsigned long exponent) {
  bigint out;
  mpz_ui_pow_ui(out.get(), 10, exponent);
  return out;
}

inline bool below(const bigint& value, const bigint& limit) {
  return mpz_cmp(value.get(), limit.get()) < 0;
}

// a / b and a % b, truncated toward zero as C++ does.
inline bigint quotient(const bigint& a, const bigint& b) {
  bigint out;
  mpz_tdiv_q(out.get(), a.get(), b.get());
  return out;
}

inline bigint remainder(const bigint& a, const bigint& b) {
  bigint out;
  mpz_tdiv_r(out.get(), a.get(), b.get());
  return out;
}

} // namespace veldratest

#endif // VELDRA_TESTS_GMPREF_HPP
