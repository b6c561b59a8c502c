// VELDRA_ASSERT: the preconditions the digit layer and the limb kernels
// state, checked where the build keeps assertions (no NDEBUG: the asan,
// fuzz and coverage presets) and compiled out of Release builds.  A broken
// one names itself on standard error and aborts.  Internal: not installed.
#ifndef VELDRA_CONTRACT_HPP
#define VELDRA_CONTRACT_HPP

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace VELDRA {
namespace detail {

[[noreturn]] inline void contractbroken(const char* condition, const char* file,
                                        int line) {
  std::fprintf(stderr, "%s:%d: veldra contract broken: %s\n", file, line,
               condition);
  std::abort();
}

// True when [a, a + na) and [b, b + nb) share an element; an absent
// output (null) shares none.
template <class T>
bool overlap(const T* a, std::size_t na, const T* b, std::size_t nb) {
  if (a == nullptr || b == nullptr || na == 0 || nb == 0) {
    return false;
  }
  const std::less<const T*> below;
  return below(a, b + nb) && below(b, a + na);
}

} // namespace detail
} // namespace VELDRA

#ifdef NDEBUG
// Never evaluated, yet an odr-use, so that helpers called only here still
// count as needed (clang warns of those referenced only in sizeof).
#define VELDRA_ASSERT(condition) static_cast<void>(false && (condition))
#else
#define VELDRA_ASSERT(condition)                                               \
  ((condition)                                                                 \
       ? static_cast<void>(0)                                                  \
       : ::VELDRA::detail::contractbroken(#condition, __FILE__, __LINE__))
#endif

#endif // VELDRA_CONTRACT_HPP
