// Compiled into every program of a coverage build.  A process that ends
// through std::terminate ends in abort(), which skips the exit-time hook
// that writes gcov's counters, so the crash report, which runs only there,
// would count as never run.  On SIGABRT the counters are written first,
// then the signal ends the process as before.
#include <csignal>

extern "C" void __gcov_dump();

namespace {

void dumpcountersandabort(int signal) {
  __gcov_dump();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

[[maybe_unused]] const bool installed = [] {
  std::signal(SIGABRT, dumpcountersandabort);
  return true;
}();

} // namespace
