// Running a piece of a test in a child process, inside a fresh temporary
// directory, for what only a new process shows: the module set-up, the
// terminate handler and the crash report.
//
// On POSIX systems the child is forked.  Windows has no fork: there the
// child is this program again, running the current test alone, and each
// call of runinchild in it hands back what the parent's call gave, until
// the call that started the child, which runs its body.  A test must reach
// the same calls in the same order in both, as every test here does.
#ifndef VELDRA_TESTS_CHILDPROCESS_HPP
#define VELDRA_TESTS_CHILDPROCESS_HPP

#include "support/testseed.hpp"
#include "veldra.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <sys/wait.h>
#endif

namespace veldratest {

struct childrun {
  int status = 0;     // as from waitpid; on Windows the exit code
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

  // On Windows abort() ends a process with exit code 3.
  bool abortedbysignal(int signal) const {
#if defined(_WIN32)
    return signal == SIGABRT && status == 3;
#else
    return WIFSIGNALED(status) && WTERMSIG(status) == signal;
#endif
  }
  bool exitedwith(int code) const {
#if defined(_WIN32)
    return status == code;
#else
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
#endif
  }
  std::string report() const { return readfile(dir + "/logs/veldra.log"); }
  bool hasreport() const {
    struct stat info {};
    return ::stat((dir + "/logs/veldra.log").c_str(), &info) == 0;
  }

  // The file's bytes, or with `astext` its text, whose line ends Windows
  // reads as '\n'.
  static std::string readfile(const std::string& path, bool astext = false) {
    std::ifstream in(path, astext ? std::ios::in : std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

// The descriptor fd to the file at `path`, created or replaced; on Windows
// in binary mode, so that what is written is what the file holds.
inline bool redirect(int fd, const std::string& path) {
#if defined(_WIN32)
  const int to =
      ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
              _S_IREAD | _S_IWRITE);
#else
  const int to = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
#endif
  return to >= 0 && ::dup2(to, fd) >= 0;
}

// In the child: runs `body` in `dir` with standard output sent to a file
// there, on an empty trace, and ends the child with exit(0), running
// exit-time clean-up, if the body returns.
[[noreturn]] inline void runbody(const std::function<void()>& body,
                                 const std::string& dir) {
  std::error_code failed;
  std::filesystem::current_path(dir, failed);
  if (failed || !redirect(1, dir + "/stdout")) {
    std::_Exit(120);
  }
  VELDRA::logstream.str("");
  body();
  std::exit(0);
}

// A fresh temporary directory, with logs/ when `withlogs`.
inline std::string makechilddir(bool withlogs) {
  namespace fs = std::filesystem;
  std::random_device random;
  fs::path dir;
  do {
    dir =
        fs::temp_directory_path() / ("veldra-test-" + std::to_string(random()));
  } while (!fs::create_directory(dir));
  if (withlogs) {
    fs::create_directory(dir / "logs");
  }
  return dir.string();
}

#if defined(_WIN32)
// The calls of runinchild the current test has made, "<status> <dir>" each.
inline std::vector<std::string>& callsofthistest() {
  static const testing::TestInfo* test = nullptr;
  static std::vector<std::string> calls;
  const testing::TestInfo* current =
      testing::UnitTest::GetInstance()->current_test_info();
  if (current != test) {
    test = current;
    calls.clear();
  }
  return calls;
}

// In a child, the parent's calls up to the one that started it, whose
// status is not yet known ("- <dir>").  Empty in the parent.
inline const std::vector<std::string>& parentcalls() {
  static const std::vector<std::string> calls = [] {
    std::vector<std::string> out;
    std::istringstream in(std::getenv("VELDRA_CHILD_CALLS") != nullptr
                              ? std::getenv("VELDRA_CHILD_CALLS")
                              : "");
    for (std::string call; std::getline(in, call, ';');) {
      out.push_back(call);
    }
    return out;
  }();
  return calls;
}

// Runs this program on the current test alone, as a child that knows the
// calls made so far; its own output goes to a file in `dir`.  Returns its
// exit code.
inline int spawnchild(const std::vector<std::string>& calls,
                      const std::string& dir) {
  const testing::TestInfo* test =
      testing::UnitTest::GetInstance()->current_test_info();
  std::string history;
  for (const std::string& call : calls) {
    history += call + ";";
  }
  ::_putenv_s(
      "GTEST_FILTER",
      (std::string(test->test_suite_name()) + "." + test->name()).c_str());
  ::_putenv_s("VELDRA_CHILD_CALLS", history.c_str());
  std::fflush(nullptr);
  const int out = ::dup(1);
  const int err = ::dup(2);
  redirect(1, dir + "/child-output");
  ::dup2(1, 2);
  const std::string program = programpath();
  const std::string quoted = "\"" + program + "\"";
  const auto status = ::_spawnl(_P_WAIT, program.c_str(), quoted.c_str(),
                                static_cast<char*>(nullptr));
  ::dup2(out, 1);
  ::dup2(err, 2);
  ::close(out);
  ::close(err);
  ::_putenv_s("GTEST_FILTER", "");
  ::_putenv_s("VELDRA_CHILD_CALLS", "");
  return static_cast<int>(status);
}

// A call of the parent as a child sees it: its result, or for the call
// that started the child its body, run there.
inline childrun replaycall(const std::function<void()>& body,
                           const std::string& call, bool own) {
  childrun run;
  const std::size_t space = call.find(' ');
  run.dir = call.substr(space + 1);
  if (own) {
    runbody(body, run.dir);
  }
  run.status = std::stoi(call.substr(0, space));
  run.output = childrun::readfile(run.dir + "/stdout", true);
  return run;
}
#endif

// Makes a temporary directory (with logs/ when `withlogs`), and runs `body`
// in a child process there with standard output sent to a file.  A body
// that returns ends the child with exit(0), running exit-time clean-up.
// The child starts with an empty trace, but otherwise from the parent's
// state: the parent must not have made a number.
inline childrun runinchild(const std::function<void()>& body,
                           bool withlogs = true) {
  childrun run;
#if defined(_WIN32)
  std::vector<std::string>& calls = callsofthistest();
  const std::vector<std::string>& parent = parentcalls();
  if (calls.size() < parent.size()) {
    calls.push_back(parent[calls.size()]);
    return replaycall(body, calls.back(), calls.size() == parent.size());
  }
  run.dir = makechilddir(withlogs);
  calls.push_back("- " + run.dir);
  run.status = spawnchild(calls, run.dir);
  calls.back() = std::to_string(run.status) + " " + run.dir;
#else
  run.dir = makechilddir(withlogs);
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    runbody(body, run.dir);
  }
  EXPECT_GT(pid, 0);
  ::waitpid(pid, &run.status, 0);
#endif
  run.output = childrun::readfile(run.dir + "/stdout", true);
  return run;
}

// In a child: standard error dropped.
inline void discardstderr() {
#if defined(_WIN32)
  redirect(2, "NUL");
#else
  redirect(2, "/dev/null");
#endif
}

// In a child: becomes the program at `path`, or on Windows runs it and ends
// with its exit code.
[[noreturn]] inline void becomeprogram(const char* path) {
#if defined(_WIN32)
  std::fflush(nullptr);
  const std::string quoted = "\"" + std::string(path) + "\"";
  std::_Exit(static_cast<int>(
      ::_spawnl(_P_WAIT, path, quoted.c_str(), static_cast<char*>(nullptr))));
#else
  ::execl(path, path, static_cast<char*>(nullptr));
  ::_exit(127);
#endif
}

} // namespace veldratest

#endif // VELDRA_TESTS_CHILDPROCESS_HPP
