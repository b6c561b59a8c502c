// The fuzz input, read as libFuzzer's FuzzedDataProvider reads it: the same
// member names and the same decoding (byte runs from the front, integers
// from the back), so that an input means the same to the fuzzers, built
// with clang and libFuzzer, and to the corpus replay, built with any
// compiler.
#ifndef VELDRA_FUZZ_FUZZINPUT_HPP
#define VELDRA_FUZZ_FUZZINPUT_HPP

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <vector>

namespace veldrafuzz {

class fuzzinput {
public:
  fuzzinput(const std::uint8_t* data, std::size_t size)
      : data_(data), remaining_(size) {}

  std::size_t remaining_bytes() const { return remaining_; }

  // min + (up to sizeof(T) bytes from the back, big-endian) mod the range;
  // min once the input is used up.
  template <class T> T ConsumeIntegralInRange(T min, T max) {
    static_assert(std::is_integral<T>::value && sizeof(T) <= 8,
                  "an integral type of at most 64 bits");
    if (min > max) {
      std::abort();
    }
    const std::uint64_t range =
        static_cast<std::uint64_t>(max) - static_cast<std::uint64_t>(min);
    std::uint64_t result = 0;
    for (std::size_t offset = 0; offset < sizeof(T) * CHAR_BIT &&
                                 (range >> offset) > 0 && remaining_ != 0;
         offset += CHAR_BIT) {
      --remaining_;
      result = (result << CHAR_BIT) | data_[remaining_];
    }
    if (range != std::numeric_limits<std::uint64_t>::max()) {
      result %= range + 1;
    }
    return static_cast<T>(static_cast<std::uint64_t>(min) + result);
  }

  template <class T> T ConsumeIntegral() {
    return ConsumeIntegralInRange(std::numeric_limits<T>::min(),
                                  std::numeric_limits<T>::max());
  }

  bool ConsumeBool() { return (ConsumeIntegral<std::uint8_t>() & 1) != 0; }

  // The next `count` bytes from the front, or as many as are left.
  template <class T> std::vector<T> ConsumeBytes(std::size_t count) {
    static_assert(sizeof(T) == 1, "a byte type");
    if (count > remaining_) {
      count = remaining_;
    }
    std::vector<T> out(data_, data_ + count);
    data_ += count;
    remaining_ -= count;
    return out;
  }

private:
  const std::uint8_t* data_;
  std::size_t remaining_;
};

} // namespace veldrafuzz

#endif // VELDRA_FUZZ_FUZZINPUT_HPP
