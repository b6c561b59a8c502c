// A number made by a static initialiser of another translation unit, this
// program's, whose objects the linker places ahead of the library's: it may
// be made before the library's own initialisers have run, and its lines
// must still open the trace, in order.
#include "support/tracecapture.hpp"

#include "veldra.hpp"

#include <gtest/gtest.h>

namespace {

using namespace veldratest;

const VELDRA::fixedint early(2, 42);

TEST(StaticInit, NumberMadeBeforeTheLibraryIsTraced) {
  const lines trace = messages(VELDRA::logstream.str());
  const lines expected = concat({setuplines(), creationlines(2)});
  ASSERT_GE(trace.size(), expected.size());
  const auto end = trace.begin() + static_cast<std::ptrdiff_t>(expected.size());
  EXPECT_EQ(lines(trace.begin(), end), expected);
  EXPECT_EQ(early.asstring(), "42");
}

} // namespace
