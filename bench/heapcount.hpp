// Heap accounting for the benchmark binary: every operator new and delete of
// the process goes through the counters below, which are read around one
// call of an operation to see how much memory it holds at its peak.
#ifndef VELDRA_BENCH_HEAPCOUNT_HPP
#define VELDRA_BENCH_HEAPCOUNT_HPP

#include <cstddef>

namespace veldrabench {

struct heapusage {
  std::size_t allocations = 0;
  std::size_t allocatedbytes = 0;
  // Highest number of bytes held at once above what was held at the start.
  std::size_t peakbytes = 0;
};

// Starts counting from zero; stopcounting returns what happened since.
// Counting is off otherwise, so timed loops pay one untaken branch per
// allocation.
void startcounting();
heapusage stopcounting();

} // namespace veldrabench

#endif // VELDRA_BENCH_HEAPCOUNT_HPP
