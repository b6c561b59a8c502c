// The fuzz input reader decodes as libFuzzer's FuzzedDataProvider does, so
// that a corpus means the same to the fuzzers and to its replay here.
#include "fuzzinput.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

using veldrafuzz::fuzzinput;
using bytes = std::vector<std::uint8_t>;

TEST(FuzzInput, IntegersFromTheBackByteRunsFromTheFront) {
  const bytes data = {1, 2, 3, 4, 5, 6};
  fuzzinput in(data.data(), data.size());
  EXPECT_EQ(in.ConsumeIntegralInRange<int>(0, 22), 6); // one byte, mod 23
  EXPECT_EQ(in.ConsumeBytes<std::uint8_t>(2), (bytes{1, 2}));
  EXPECT_EQ(in.ConsumeIntegral<std::uint16_t>(), 0x0504); // big-endian
  EXPECT_EQ(in.ConsumeIntegralInRange<int>(-1, 1), -1);   // 3 mod 3, from -1
  EXPECT_EQ(in.remaining_bytes(), 0u);
  // Used up: the least value, no bytes.
  EXPECT_FALSE(in.ConsumeBool());
  EXPECT_EQ(in.ConsumeIntegralInRange<std::size_t>(7, 9), 7u);
  EXPECT_TRUE(in.ConsumeBytes<std::uint8_t>(4).empty());
}

TEST(FuzzInput, FullRangesCountFromTheLeastValue) {
  const bytes data = {0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
  fuzzinput in(data.data(), data.size());
  EXPECT_EQ(in.ConsumeIntegral<std::int64_t>(),
            std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(in.ConsumeIntegral<signed char>(), -128);
  EXPECT_EQ(in.remaining_bytes(), 0u);
}

} // namespace
