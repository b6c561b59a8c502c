// Shared pieces of the benchmarks: operand values, the trace budget and the
// one-off profile of an operation (its trace lines and its heap use).
#ifndef VELDRA_BENCH_BENCHSUPPORT_HPP
#define VELDRA_BENCH_BENCHSUPPORT_HPP

#include "heapcount.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace veldrabench {

// `length` random digits, least significant first, the top one in 1..4 so
// that the value has `length` significant digits and sums of two such values
// do not overflow.  The same seed gives the same digits in every benchmark.
std::vector<signed char> randomdigits(std::size_t length, unsigned seed);

// The same digits as decimal text, most significant first.
std::string digittext(const std::vector<signed char>& digits);

// Gives `stream` room for a few batches so that appending never reallocates
// inside a timed loop.
void reservestream(std::stringstream& stream);

// Empties a trace stream every so many iterations, so that memory stays
// bounded while the loop keeps writing as a long-running trace does.  The
// reset keeps the stream's buffer and costs a few nanoseconds once per batch
// of about 4 MiB of lines, so it needs no pause of the timer.
class tracebatch {
public:
  tracebatch(std::stringstream& stream, std::size_t bytesperiteration);
  void step() {
    if (--left_ == 0) {
      stream_.str("");
      left_ = iterations_;
    }
  }

private:
  std::stringstream& stream_;
  std::int64_t iterations_;
  std::int64_t left_;
};

struct profile {
  std::vector<std::string> lines; // each with its newline
  std::size_t bytes = 0;
  heapusage heap;
};

// Runs `op` once on an empty trace: what it wrote and what it allocated.
profile profileop(const std::function<void()>& op);

} // namespace veldrabench

#endif // VELDRA_BENCH_BENCHSUPPORT_HPP
