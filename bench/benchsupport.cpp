#include "benchsupport.hpp"

#include "veldra.hpp"

#include <algorithm>
#include <random>

namespace veldrabench {

namespace {

// Enough for every batch plus the largest single operation measured.
constexpr std::size_t streamreserve = std::size_t{32} << 20;
constexpr std::size_t batchbytes = std::size_t{4} << 20;

} // namespace

std::vector<signed char> randomdigits(std::size_t length, unsigned seed) {
  std::mt19937 generator(seed);
  std::uniform_int_distribution<int> digit(0, 9);
  std::vector<signed char> digits(length);
  for (signed char& place : digits) {
    place = static_cast<signed char>(digit(generator));
  }
  if (length > 0) {
    digits.back() = static_cast<signed char>(1 + digit(generator) % 4);
  }
  return digits;
}

std::string digittext(const std::vector<signed char>& digits) {
  std::string text;
  text.reserve(digits.size());
  std::for_each(digits.rbegin(), digits.rend(), [&text](signed char place) {
    text.push_back(static_cast<char>('0' + place));
  });
  return text;
}

void reservestream(std::stringstream& stream) {
  stream.str(std::string(streamreserve, ' '));
  // Assigning the empty text keeps the string's capacity as the buffer.
  stream.str("");
}

tracebatch::tracebatch(std::stringstream& stream, std::size_t bytesperiteration)
    : stream_(stream),
      iterations_(static_cast<std::int64_t>(std::max<std::size_t>(
          1, batchbytes / std::max<std::size_t>(1, bytesperiteration)))),
      left_(iterations_) {
  stream_.str("");
}

profile profileop(const std::function<void()>& op) {
  VELDRA::logstream.str("");
  startcounting();
  op();
  profile result;
  result.heap = stopcounting();
  const std::string text = VELDRA::logstream.str();
  VELDRA::logstream.str("");
  result.bytes = text.size();
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    result.lines.push_back(text.substr(start, end + 1 - start));
  }
  return result;
}

} // namespace veldrabench
