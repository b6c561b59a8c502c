// Running a piece of a test in a forked child, inside a fresh temporary
// directory, for what only a new process shows: the module set-up, the
// terminate handler and the crash report.
#ifndef VELDRA_TESTS_CHILDPROCESS_HPP
#define VELDRA_TESTS_CHILDPROCESS_HPP

#include "veldra.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veldratest {

struct childrun {
  int status = 0;     // as from waitpid
  std::string dir;    // the child's working directory, removed with this
  std::string output; // what the child wrote to standard output

  childrun() = default;
  childrun(childrun&& other) noexcept
      : status(other.status), dir(std::move(other.dir)),
        output(std::move(other.output)) {
    other.dir.clear();
  }
  childrun(const childrun&) = delete;
  childrun& operator=(const childrun&) = delete;
  ~childrun() {
    if (!dir.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  }

  bool abortedbysignal(int signal) const {
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
  }
  bool exitedwith(int code) const {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
  }
  std::string report() const { return readfile(dir + "/logs/veldra.log"); }
  bool hasreport() const {
    struct stat info {};
    return ::stat((dir + "/logs/veldra.log").c_str(), &info) == 0;
  }

  static std::string readfile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

// Makes a temporary directory (with logs/ when `withlogs`), forks, and runs
// `body` in the child there with standard output sent to a file.  A body
// that returns ends the child with exit(0), running exit-time clean-up.
// The child starts with an empty trace, but otherwise from the parent's
// state: the parent must not have made a number.
inline childrun runinchild(const std::function<void()>& body,
                           bool withlogs = true) {
  childrun run;
  char pattern[] = "/tmp/veldra-test-XXXXXX";
  const char* dir = ::mkdtemp(pattern);
  EXPECT_NE(dir, nullptr);
  run.dir = dir ? dir : "";
  if (withlogs) {
    ::mkdir((run.dir + "/logs").c_str(), 0755);
  }
  const std::string outpath = run.dir + "/stdout";
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(run.dir.c_str()) != 0) {
      ::_exit(120);
    }
    const int out = ::open(outpath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || ::dup2(out, STDOUT_FILENO) < 0) {
      ::_exit(121);
    }
    VELDRA::logstream.str("");
    body();
    std::exit(0);
  }
  EXPECT_GT(pid, 0);
  ::waitpid(pid, &run.status, 0);
  run.output = childrun::readfile(outpath);
  return run;
}

} // namespace veldratest

#endif // VELDRA_TESTS_CHILDPROCESS_HPP
